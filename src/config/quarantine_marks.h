// The settings' view of safe mode: an included entry whose program is in
// quarantine is shown with a suffix from the resource module, and an entry
// the user moved back into the include list (it arrives without the suffix)
// releases the programs it names.
#pragma once

#include <string>
#include <vector>

// The suffix, with its leading blanks; empty when the resource module lacks it.
std::string QuarantinedSuffix();
// The entry as shown: with the suffix when a quarantined program falls under it.
std::string MarkedEntry(const std::string& entry, const std::vector<std::string>& quarantined,
                        const std::string& suffix);
// Takes the suffix off; true when it was there.
bool UnmarkEntry(std::string* pEntry, const std::string& suffix);
// Every quarantined program that an unmarked included entry names is released.
void ReleaseProgramsOfEntries(const std::vector<std::string>& unmarked);
