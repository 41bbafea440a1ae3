// The distributor's menu table, read out of a set once and kept as a value
// of its own. The engine hands the table out in a scratch block that its
// next call overwrites, and a document caches its page text on first use;
// neither may be touched by several threads at once. Hosts with several
// user-interface threads build send popups at the same time, so the table
// is copied out at module start and only read afterwards: nothing here
// changes after construction, and any thread may read it.
//
// Portable: the native tests run it under the sanitizers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "docengine/document_set.h"
#include "suite/library_error.h"

struct OemMenuEntry {
    std::string strText;
    std::string strCommand;
    bool bSeparator;
};

class OemMenuItems {
public:
    // No table: a set without slot 22, or one whose table could not be read.
    OemMenuItems() = default;
    // The parsed menu table of slot 22.
    static OemMenuItems FromSet(const docengine::DocumentSet* pSet);

    bool HasTable() const { return m_bHasTable; }
    // The engine's code for the reading of the table (0 also without table).
    LibraryErrorCode ReadCode() const { return m_dwReadCode; }
    std::size_t Count() const { return m_entries.size(); }
    const OemMenuEntry& Entry(std::size_t nEntry) const { return m_entries[nEntry]; }
    // The command of entry nEntry; null for a separator or past the end.
    const char* CommandOf(std::size_t nEntry) const;

private:
    bool m_bHasTable = false;
    LibraryErrorCode m_dwReadCode = LIBERR_OK;
    std::vector<OemMenuEntry> m_entries;
};
