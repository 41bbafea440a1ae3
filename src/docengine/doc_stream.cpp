#include "docengine/doc_stream.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "suite/library_error.h"

namespace docengine {

MemoryStream::MemoryStream(std::vector<std::uint8_t> bytes) : m_owned(std::move(bytes)) {
    m_pData = m_owned.data();
    m_cbData = m_owned.size();
}

MemoryStream::MemoryStream(const void* pData, std::size_t cbData)
    : m_pData(static_cast<const std::uint8_t*>(pData)), m_cbData(cbData), m_bOwned(false) {}

MemoryStream MemoryStream::Borrow(const void* pData, std::size_t cbData) {
    if (pData == nullptr && cbData != 0) ThrowLibraryError(LIBERR_BAD_ARGUMENT, "no block");
    return MemoryStream(pData, cbData);
}

void MemoryStream::Seek(std::uint64_t pos) {
    // Seeking past the end is allowed for writing; reading there fails.
    m_pos = pos;
}

void MemoryStream::Read(void* pDest, std::size_t cb) {
    if (m_pos > m_cbData || cb > m_cbData - m_pos) ThrowLibraryError(LIBERR_END_OF_FILE, nullptr);
    if (cb != 0) std::memcpy(pDest, m_pData + m_pos, cb);
    m_pos += cb;
}

void MemoryStream::Write(const void* pSrc, std::size_t cb) {
    if (!m_bOwned) ThrowLibraryError(LIBERR_ACCESS_DENIED, "borrowed block");
    const std::uint64_t end = m_pos + cb;
    if (end < m_pos || end > SIZE_MAX / 2) ThrowLibraryError(LIBERR_OUT_OF_MEMORY, nullptr);
    if (end > m_owned.size()) m_owned.resize(static_cast<std::size_t>(end));
    if (cb != 0) std::memcpy(m_owned.data() + m_pos, pSrc, cb);
    m_pos = end;
    m_pData = m_owned.data();
    m_cbData = m_owned.size();
}

std::vector<std::uint8_t> MemoryStream::TakeBytes() {
    std::vector<std::uint8_t> bytes = std::move(m_owned);
    m_owned.clear();
    m_pData = m_owned.data();
    m_cbData = 0;
    m_pos = 0;
    return bytes;
}

namespace {
[[noreturn]] void ThrowErrno(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR: ThrowLibraryError(LIBERR_NOT_FOUND, std::strerror(err));
        case EACCES:
        case EPERM:
        case EROFS: ThrowLibraryError(LIBERR_ACCESS_DENIED, std::strerror(err));
        case ENOMEM: ThrowLibraryError(LIBERR_OUT_OF_MEMORY, nullptr);
        default: ThrowLibraryError(LIBERR_SYSTEM, std::strerror(err));
    }
}

bool SeekFile(std::FILE* pFile, std::uint64_t pos) {
#if defined(_WIN32)
    return _fseeki64(pFile, static_cast<long long>(pos), SEEK_SET) == 0;
#else
    return fseeko(pFile, static_cast<off_t>(pos), SEEK_SET) == 0;
#endif
}
}  // namespace

FileStream::FileStream(const std::string& strPath, Mode mode) {
    const char* pszMode = mode == Mode::Read ? "rb" : mode == Mode::Create ? "w+b" : "r+b";
    m_pFile = std::fopen(strPath.c_str(), pszMode);
    if (m_pFile == nullptr) ThrowErrno(errno);
    if (std::fseek(m_pFile, 0, SEEK_END) != 0) {
        const int err = errno;
        std::fclose(m_pFile);
        m_pFile = nullptr;
        ThrowErrno(err);
    }
#if defined(_WIN32)
    const long long end = _ftelli64(m_pFile);
#else
    const off_t end = ftello(m_pFile);
#endif
    if (end < 0) {
        std::fclose(m_pFile);
        m_pFile = nullptr;
        ThrowLibraryError(LIBERR_SYSTEM, "file size");
    }
    m_cbSize = static_cast<std::uint64_t>(end);
    m_pos = m_cbSize;
    Seek(0);
}

FileStream::~FileStream() {
    if (m_pFile != nullptr) std::fclose(m_pFile);
}

void FileStream::Seek(std::uint64_t pos) {
    if (!SeekFile(m_pFile, pos)) ThrowErrno(errno);
    m_pos = pos;
}

void FileStream::Read(void* pDest, std::size_t cb) {
    if (m_pos > m_cbSize || cb > m_cbSize - m_pos) ThrowLibraryError(LIBERR_END_OF_FILE, nullptr);
    if (cb != 0 && std::fread(pDest, 1, cb, m_pFile) != cb) ThrowLibraryError(LIBERR_END_OF_FILE, nullptr);
    m_pos += cb;
}

void FileStream::Write(const void* pSrc, std::size_t cb) {
    if (cb != 0 && std::fwrite(pSrc, 1, cb, m_pFile) != cb) ThrowLibraryError(LIBERR_ACCESS_DENIED, "write failed");
    // The next read after a write needs a positioning call in between.
    m_pos += cb;
    if (m_pos > m_cbSize) m_cbSize = m_pos;
    if (!SeekFile(m_pFile, m_pos)) ThrowErrno(errno);
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& strPath) {
    FileStream file(strPath, FileStream::Mode::Read);
    if (file.Size() > SIZE_MAX / 2) ThrowLibraryError(LIBERR_OUT_OF_MEMORY, nullptr);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.Size()));
    file.Read(bytes.data(), bytes.size());
    return bytes;
}

void WriteWholeFile(const std::string& strPath, const std::vector<std::uint8_t>& bytes) {
    FileStream file(strPath, FileStream::Mode::Create);
    file.Write(bytes.data(), bytes.size());
}

}  // namespace docengine
