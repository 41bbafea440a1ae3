#include "oem/oem_menu_items.h"

OemMenuItems OemMenuItems::FromSet(const docengine::DocumentSet* pSet) {
    OemMenuItems items;
    docengine::OemMenuTable* pTable = nullptr;
    items.m_dwReadCode = docengine::GetMenuTable(pSet, &pTable);
    if (items.m_dwReadCode != LIBERR_OK || pTable == nullptr) return items;
    items.m_bHasTable = true;
    for (std::uint32_t i = 0; i < pTable->dwCount && i < docengine::kMenuTableEntries; ++i) {
        const docengine::OemMenuItem& item = pTable->aItems[i];
        if (item.pszCommand == nullptr) {
            items.m_entries.push_back({std::string(), std::string(), true});
        } else {
            items.m_entries.push_back({item.pszText != nullptr ? item.pszText : "", item.pszCommand, false});
        }
    }
    return items;
}

const char* OemMenuItems::CommandOf(std::size_t nEntry) const {
    if (nEntry >= m_entries.size() || m_entries[nEntry].bSeparator) return nullptr;
    return m_entries[nEntry].strCommand.c_str();
}
