#include "e2e/Sessions.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/TempFiles.h"

namespace test {

namespace {

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, separator)) fields.push_back(field);
    if (!line.empty() && line.back() == separator) fields.emplace_back();
    return fields;
}

}  // namespace

std::vector<Row> ReadRecord(const std::string& path) {
    std::istringstream lines(ReadFile(path));
    std::string line;
    std::getline(lines, line);
    const std::vector<std::string> names = Split(line, ',');
    EXPECT_EQ(line.rfind("frame,heading_deg,pitch_deg,target,marker_shown,marker_x,marker_y,marker_distance,"
                         "movie_calls,sounds,movie_visible,player_input,",
                         0),
              0u)
        << "today's columns come first: " << line;
    std::vector<Row> rows;
    while (std::getline(lines, line)) {
        const std::vector<std::string> f = Split(line, ',');
        if (f.size() != names.size()) {
            ADD_FAILURE() << "malformed record line: " << line;
            continue;
        }
        const auto at = [&](const char* name) -> const std::string& {
            for (std::size_t i = 0; i < names.size(); ++i)
                if (names[i] == name) return f[i];
            ADD_FAILURE() << "the record has no column " << name;
            static const std::string none = "0";
            return none;
        };
        rows.push_back({std::stoi(at("frame")), std::stod(at("heading_deg")), std::stod(at("pitch_deg")), at("target"),
                        at("marker_shown") == "1", std::stod(at("marker_x")), std::stod(at("marker_y")),
                        std::stod(at("marker_distance")), at("movie_calls"), std::stoi(at("sounds")),
                        at("movie_visible") == "1", at("player_input") == "1", at("game_target"), at("branch_a"),
                        at("branch_b"), std::stoi(at("displays")), at("messages")});
    }
    return rows;
}

Session Play(const std::string& name, const std::string& scenario, const std::string& options,
             unsigned long timeoutMilliseconds) {
    const GameFolder game = MakeGameFolder(name);
    AddMarkerMovie(game);
    WriteFile(game.folder + "\\scenario.txt", scenario);
    Session session;
    session.run =
        RunGame(game, options + " --record \"" + game.folder + "\\record.csv\" \"" + game.folder + "\\scenario.txt\"",
                timeoutMilliseconds);
    session.rows = ReadRecord(game.folder + "\\record.csv");
    return session;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace test
