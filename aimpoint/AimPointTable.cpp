#include "aimpoint/AimPointTable.h"

AimPointTable gAimPointTable;  // interns its node names through the host

#include <utility>

AimPointTable::AimPointTable() {
    for (const AimPointRow& row : kAimPointRows) {
        const std::pair<const std::string, host::FixedString> entry(row.skeletonPath, host::FixedString(row.nodeName));
        // A host without a string pool leaves the name empty; such a row could never match a node.
        if (entry.second.Handle() == nullptr) continue;
        nodes_.insert(entry);  // the map keeps its own copy; the temporary is released here
    }
}

const host::FixedString* AimPointTable::Find(std::string_view skeletonPath) const {
    const auto found = nodes_.find(skeletonPath);
    return found == nodes_.end() ? nullptr : &found->second;
}

const host::FixedString* LookupAimNode(std::string_view loweredSkeletonPath) {
    return gAimPointTable.Find(loweredSkeletonPath);
}
