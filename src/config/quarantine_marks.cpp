#include "config/quarantine_marks.h"

#include "hook/base/shared_state.h"
#include "resource_ids.h"
#include "hook/base/target_selection.h"
#include "suite/safe_mode.h"

std::string QuarantinedSuffix() {
    char szSuffix[64] = {};
    if (g_hResourceModule != nullptr)
        LoadStringA(g_hResourceModule, IDS_QUARANTINED_SUFFIX, szSuffix, sizeof szSuffix);
    return szSuffix;
}

std::string MarkedEntry(const std::string& entry, const std::vector<std::string>& quarantined,
                        const std::string& suffix) {
    if (suffix.empty()) return entry;
    for (const std::string& name : quarantined)
        if (IncludeEntryMatches(entry.c_str(), name.c_str())) return entry + suffix;
    return entry;
}

bool UnmarkEntry(std::string* pEntry, const std::string& suffix) {
    if (suffix.empty() || pEntry->size() < suffix.size() ||
        pEntry->compare(pEntry->size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    pEntry->resize(pEntry->size() - suffix.size());
    return true;
}

void ReleaseProgramsOfEntries(const std::vector<std::string>& unmarked) {
    for (const std::string& name : safe_mode::QuarantinedPrograms()) {
        for (const std::string& entry : unmarked) {
            if (IncludeEntryMatches(entry.c_str(), name.c_str())) {
                safe_mode::Release(name);
                break;
            }
        }
    }
}
