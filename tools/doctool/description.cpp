#include "description.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "docengine/doc_stream.h"
#include "suite/library_error.h"

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

// "yyyy-mm-dd [hh:mm:ss]"
bool ParseDate(const std::string& str, docengine::TimeStamp* pStamp) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
    char extra = 0;
    const int n = std::sscanf(str.c_str(), "%d-%d-%d %d:%d:%d %c", &y, &mo, &d, &h, &mi, &se, &extra);
    if (n != 3 && n != 6) return false;
    if (y < 1900 || y > 2155 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || se > 59 || h < 0 ||
        mi < 0 || se < 0) {
        return false;
    }
    *pStamp = docengine::TimeStamp::FromCalendar(y, mo, d, h, mi, se);
    return true;
}

// "text | command" into its two tokens.
bool SplitPair(const std::string& str, std::string* pText, std::string* pCommand) {
    const std::size_t bar = str.find('|');
    if (bar == std::string::npos) return false;
    auto trim = [](std::string v) {
        const std::size_t a = v.find_first_not_of(" \t");
        const std::size_t b = v.find_last_not_of(" \t");
        return a == std::string::npos ? std::string() : v.substr(a, b - a + 1);
    };
    *pText = trim(str.substr(0, bar));
    *pCommand = trim(str.substr(bar + 1));
    return !pText->empty() && !pCommand->empty();
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
    std::vector<std::string> menuTokens;
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
        } else if (key == "date") {
            docengine::TimeStamp ts;
            if (!ParseDate(rest, &ts)) return fail("date takes yyyy-mm-dd and optionally hh:mm:ss");
            d.date = ts;
        } else if (key == "title" || key == "item") {
            std::string text, command;
            if (!SplitPair(Unescape(rest), &text, &command)) return fail(key + " takes <text> | <command>");
            if (key == "title") menuTokens.insert(menuTokens.end(), {"-", "-"});
            menuTokens.insert(menuTokens.end(), {text, command});
        } else if (key == "separator") {
            if (!rest.empty()) return fail("separator takes nothing");
            menuTokens.push_back("-");
        } else if (key == "token") {
            menuTokens.push_back(Unescape(rest));
        } else {
            return fail("unknown directive '" + key + "'");
        }
    }
    if (!menuTokens.empty()) {
        if (d.pages.empty()) d.pages.emplace_back();
        if (!d.pages[0].strText2.empty()) return fail("a menu table and a second text on page 1");
        d.pages[0].strText2 = docengine::JoinMenuTokens(menuTokens);
        if (d.pages[0].strText2.size() > 32767) return fail("menu table longer than 32767 bytes");
    }
    if (d.pages.empty()) {
        lineNo = 0;
        return fail("a document needs at least one page");
    }
    return true;
}

bool ParseSetDescription(const std::string& strText, const std::string& strBaseDir, docengine::SetDescription* pOut,
                         std::string* pError) {
    std::istringstream in(strText);
    std::string line;
    int lineNo = 0;
    int nSlot = -1;          // the slot whose lines are being gathered
    int nSlotLine = 0;
    std::string slotText;    // its lines, blank lines kept so errors name the right line
    std::string slotFile;
    auto fail = [&](int n, const std::string& why) {
        *pError = "line " + std::to_string(n) + ": " + why;
        return false;
    };
    auto finishSlot = [&]() {
        if (nSlot < 0) return true;
        std::vector<std::uint8_t> bytes;
        if (!slotFile.empty()) {
            const std::string path = slotFile[0] == '/' || strBaseDir.empty() ? slotFile : strBaseDir + "/" + slotFile;
            if (RunLibraryFacade([&] { bytes = docengine::ReadWholeFile(path); }) != LIBERR_OK) {
                return fail(nSlotLine, "cannot read " + path);
            }
        } else {
            WriteDescription description;
            std::string strError;
            if (!ParseDescription(slotText, &description, &strError)) {
                return fail(nSlotLine, "slot " + std::to_string(nSlot) + ": " + strError);
            }
            if (!description.strAppendTo.empty()) return fail(nSlotLine, "a slot's document cannot be appended");
            if (RunLibraryFacade([&] { bytes = docengine::BuildDocument(description.document); }) != LIBERR_OK) {
                return fail(nSlotLine, "slot " + std::to_string(nSlot) + " cannot be built");
            }
        }
        pOut->aSlots[static_cast<std::size_t>(nSlot)] = std::move(bytes);
        return true;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t first = line.find_first_not_of(" \t");
        const std::size_t keyEnd = first == std::string::npos ? first : line.find_first_of(" \t", first);
        const std::string key = first == std::string::npos ? "" : line.substr(first, keyEnd == std::string::npos ? std::string::npos : keyEnd - first);
        std::string rest;
        if (keyEnd != std::string::npos) {
            const std::size_t restStart = line.find_first_not_of(" \t", keyEnd);
            if (restStart != std::string::npos) rest = line.substr(restStart);
        }
        if (key == "slot") {
            if (!finishSlot()) return false;
            unsigned long v = 0;
            if (!ParseNumber(rest, 24, &v)) return fail(lineNo, "slot takes a number 0..24");
            if (!pOut->aSlots[v].empty()) return fail(lineNo, "slot " + rest + " given twice");
            nSlot = static_cast<int>(v);
            nSlotLine = lineNo;
            slotText.clear();
            slotFile.clear();
            continue;
        }
        if (nSlot >= 0) {
            if (key == "file") {
                slotFile = rest;
                slotText += "\n";
            } else {
                slotText += line + "\n";
            }
            continue;
        }
        if (key.empty() || key[0] == '#') continue;
        std::istringstream words(rest);
        std::string w1, w2, w3, w4;
        words >> w1 >> w2 >> w3 >> w4;
        unsigned long a = 0, b = 0, c = 0;
        if (key == "tag") {
            if (!ParseNumber(w1, 0xFFFFFFFFul, &a) || !w2.empty()) return fail(lineNo, "tag takes one number");
            pOut->dwTag = static_cast<std::uint32_t>(a);
        } else if (key == "set-info") {
            if (!ParseNumber(w1, 0xFFFF, &a) || !ParseNumber(w2, 0xFFFF, &b) || !ParseNumber(w3, 0xFFFFFFFFul, &c) ||
                !w4.empty()) {
                return fail(lineNo, "set-info takes <number> <value16> <value32>");
            }
            if (!pOut->info) pOut->info.emplace();
            pOut->info->wSetNumber = static_cast<std::uint16_t>(a);
            pOut->info->wSetValue16 = static_cast<std::uint16_t>(b);
            pOut->info->dwSetValue32 = static_cast<std::uint32_t>(c);
        } else if (key == "set-date") {
            if (!pOut->info) pOut->info.emplace();
            if (!ParseDate(rest, &pOut->info->tsSetDate)) return fail(lineNo, "set-date takes yyyy-mm-dd [hh:mm:ss]");
        } else if (key == "set-text1" || key == "set-text2" || key == "set-text3" || key == "set-text4") {
            if (!pOut->info) pOut->info.emplace();
            const std::size_t limit = key == "set-text3" ? 15 : key == "set-text4" ? 9 : 31;
            const std::string text = Unescape(rest);
            if (text.size() > limit) return fail(lineNo, key + " longer than " + std::to_string(limit) + " characters");
            (key == "set-text1"   ? pOut->info->strText1
             : key == "set-text2" ? pOut->info->strText2
             : key == "set-text3" ? pOut->info->strText3
                                  : pOut->info->strText4) = text;
        } else {
            return fail(lineNo, "unknown set directive '" + key + "'");
        }
    }
    return finishSlot();
}
