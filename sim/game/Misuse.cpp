#include "sim/game/Misuse.h"

#include <cstdio>
#include <mutex>

namespace sim {

namespace {

struct Reports {
    std::mutex mutex;
    std::vector<std::string> list;
};

// Never destroyed: the plugin's exit-time destructors may still misuse the game.
Reports& TheReports() {
    static Reports* const reports = new Reports();
    return *reports;
}

}  // namespace

void ReportMisuse(const std::string& what) {
    // Said at once as well: the misuse may be what crashes the program a moment later.
    std::fprintf(stderr, "stand-in game: %s\n", what.c_str());
    std::fflush(stderr);
    Reports& reports = TheReports();
    std::lock_guard<std::mutex> lock(reports.mutex);
    reports.list.push_back(what);
}

std::size_t MisuseCount() {
    Reports& reports = TheReports();
    std::lock_guard<std::mutex> lock(reports.mutex);
    return reports.list.size();
}

std::vector<std::string> TakeMisuses() {
    Reports& reports = TheReports();
    std::lock_guard<std::mutex> lock(reports.mutex);
    std::vector<std::string> taken;
    taken.swap(reports.list);
    return taken;
}

}  // namespace sim
