// Byte streams under a document: a memory block (owned and growable, or
// borrowed and read-only) and a file. Failures raise library error codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace docengine {

class DocStream {
public:
    virtual ~DocStream() = default;
    virtual void Seek(std::uint64_t pos) = 0;
    virtual std::uint64_t Tell() const = 0;
    virtual std::uint64_t Size() const = 0;
    // Reads exactly cb bytes or raises LIBERR_END_OF_FILE.
    virtual void Read(void* pDest, std::size_t cb) = 0;
    // Writes cb bytes at the position, growing the stream as needed.
    virtual void Write(const void* pSrc, std::size_t cb) = 0;
};

class MemoryStream final : public DocStream {
public:
    // An owned, growable block (empty for writing a new document).
    explicit MemoryStream(std::vector<std::uint8_t> bytes = {});
    // A borrowed block: the caller keeps it alive; writing raises
    // LIBERR_ACCESS_DENIED.
    static MemoryStream Borrow(const void* pData, std::size_t cbData);

    void Seek(std::uint64_t pos) override;
    std::uint64_t Tell() const override { return m_pos; }
    std::uint64_t Size() const override { return m_cbData; }
    void Read(void* pDest, std::size_t cb) override;
    void Write(const void* pSrc, std::size_t cb) override;

    // The owned block (empty for a borrowed one).
    const std::vector<std::uint8_t>& Bytes() const { return m_owned; }
    std::vector<std::uint8_t> TakeBytes();
    const std::uint8_t* Data() const { return m_pData; }

private:
    MemoryStream(const void* pData, std::size_t cbData);
    std::vector<std::uint8_t> m_owned;
    const std::uint8_t* m_pData = nullptr;
    std::uint64_t m_cbData = 0;
    std::uint64_t m_pos = 0;
    bool m_bOwned = true;
};

class FileStream final : public DocStream {
public:
    enum class Mode { Read, Create, Update };
    // Raises LIBERR_NOT_FOUND, LIBERR_ACCESS_DENIED or LIBERR_SYSTEM.
    FileStream(const std::string& strPath, Mode mode);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    void Seek(std::uint64_t pos) override;
    std::uint64_t Tell() const override { return m_pos; }
    std::uint64_t Size() const override { return m_cbSize; }
    void Read(void* pDest, std::size_t cb) override;
    void Write(const void* pSrc, std::size_t cb) override;

private:
    std::FILE* m_pFile = nullptr;
    std::uint64_t m_pos = 0;
    std::uint64_t m_cbSize = 0;
};

// Whole-file helpers for tools and tests; raise library codes.
std::vector<std::uint8_t> ReadWholeFile(const std::string& strPath);
void WriteWholeFile(const std::string& strPath, const std::vector<std::uint8_t>& bytes);

}  // namespace docengine
