#include "description.h"

#include <cstdlib>
#include <sstream>

namespace {

std::string Unescape(const std::string& str) {
    std::string out;
    for (std::size_t i = 0; i < str.size(); ++i) {
        if (str[i] == '\\' && i + 1 < str.size()) {
            const char c = str[++i];
            out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
        } else {
            out += str[i];
        }
    }
    return out;
}

bool ParseNumber(const std::string& str, unsigned long limit, unsigned long* pValue) {
    if (str.empty()) return false;
    char* pEnd = nullptr;
    const unsigned long v = std::strtoul(str.c_str(), &pEnd, 0);
    if (*pEnd != '\0' || v > limit) return false;
    *pValue = v;
    return true;
}

}  // namespace

bool ParseDescription(const std::string& strText, WriteDescription* pOut, std::string* pError) {
    std::istringstream in(strText);
    std::string line;
    int lineNo = 0;
    auto fail = [&](const std::string& why) {
        *pError = "line " + std::to_string(lineNo) + ": " + why;
        return false;
    };
    docengine::DocumentDescription& d = pOut->document;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        const std::size_t keyEnd = line.find_first_of(" \t", first);
        const std::string key = line.substr(first, keyEnd == std::string::npos ? std::string::npos : keyEnd - first);
        std::string rest;
        if (keyEnd != std::string::npos) {
            const std::size_t restStart = line.find_first_not_of(" \t", keyEnd);
            if (restStart != std::string::npos) rest = line.substr(restStart);
        }
        std::istringstream words(rest);
        std::string w1, w2, w3;
        words >> w1 >> w2 >> w3;
        unsigned long a = 0, b = 0;
        if (key == "text1" || key == "text2" || key == "text3") {
            const std::string text = Unescape(rest);
            if (text.size() > 31) return fail("header text longer than 31 characters");
            (key == "text1" ? d.strText1 : key == "text2" ? d.strText2 : d.strText3) = text;
        } else if (key == "flags") {
            if (!ParseNumber(w1, 0xFFFF, &a) || !w2.empty()) return fail("flags needs one number up to 0xFFFF");
            d.wFlags = static_cast<std::uint16_t>(a);
        } else if (key == "resolution") {
            if (!ParseNumber(w1, 32767, &a) || !ParseNumber(w2, 32767, &b) || a == 0 || b == 0 || !w3.empty()) {
                return fail("resolution needs two numbers 1..32767");
            }
            d.wResolutionX = static_cast<std::uint16_t>(a);
            d.wResolutionY = static_cast<std::uint16_t>(b);
        } else if (key == "compress") {
            if (w1 != "on" && w1 != "off") return fail("compress takes on or off");
            d.bCompress = w1 == "on";
        } else if (key == "password") {
            if (rest.empty() || rest.size() > docengine::kPasswordBlockSize) return fail("password needs 1..40 characters");
            d.password = docengine::PasswordFromText(rest);
        } else if (key == "append") {
            if (rest.empty()) return fail("append needs a path");
            pOut->strAppendTo = rest;
        } else if (key == "page") {
            docengine::PageDescription page;
            if (!w1.empty()) {
                if (!ParseNumber(w1, 32767, &a) || !ParseNumber(w2, 32767, &b) || a == 0 || b == 0 || !w3.empty()) {
                    return fail("page takes a width and a height 1..32767");
                }
                page.wWidth = static_cast<std::uint16_t>(a);
                page.wHeight = static_cast<std::uint16_t>(b);
            }
            d.pages.push_back(page);
        } else if (key == "first" || key == "second") {
            if (d.pages.empty()) return fail(key + " before any page");
            const std::string text = Unescape(rest);
            if (text.size() > 32767) return fail("page text longer than 32767 bytes");
            (key == "first" ? d.pages.back().strText1 : d.pages.back().strText2) = text;
        } else {
            return fail("unknown directive '" + key + "'");
        }
    }
    if (d.pages.empty()) {
        lineNo = 0;
        return fail("a document needs at least one page");
    }
    return true;
}
