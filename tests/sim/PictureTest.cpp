// The demo's PNG writer, read back the way a viewer reads it.

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "sim/game/StringPool.h"
#include "sim/picture/Picture.h"
#include "sim/picture/SessionPicture.h"

namespace {

std::uint32_t BigEndian(const std::uint8_t* at) {
    return (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) | (std::uint32_t{at[2]} << 8) | at[3];
}

struct Decoded {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rows;  // filter byte + RGB per row
};

// Walks the chunks checking every CRC, then undoes the stored deflate blocks and the Adler sum.
Decoded Decode(const std::vector<std::uint8_t>& png) {
    Decoded decoded;
    const std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(std::memcmp(png.data(), signature, 8), 0);
    std::vector<std::uint8_t> zlib;
    for (std::size_t at = 8; at < png.size();) {
        const std::uint32_t length = BigEndian(&png[at]);
        const std::string type(reinterpret_cast<const char*>(&png[at + 4]), 4);
        EXPECT_EQ(sim::Crc32(&png[at + 4], length + 4), BigEndian(&png[at + 8 + length])) << type;
        if (type == "IHDR") {
            decoded.width = static_cast<int>(BigEndian(&png[at + 8]));
            decoded.height = static_cast<int>(BigEndian(&png[at + 12]));
            EXPECT_EQ(png[at + 16], 8);  // bit depth
            EXPECT_EQ(png[at + 17], 2);  // RGB
        }
        if (type == "IDAT") zlib.insert(zlib.end(), &png[at + 8], &png[at + 8 + length]);
        at += 12 + length;
    }
    std::size_t at = 2;
    for (bool last = false; !last;) {
        last = zlib[at] & 1;
        const std::size_t length = zlib[at + 1] | (zlib[at + 2] << 8);
        EXPECT_EQ(length ^ 0xFFFF, static_cast<std::size_t>(zlib[at + 3] | (zlib[at + 4] << 8)));
        decoded.rows.insert(decoded.rows.end(), &zlib[at + 5], &zlib[at + 5 + length]);
        at += 5 + length;
    }
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : decoded.rows) a = (a + byte) % 65521, b = (b + a) % 65521;
    EXPECT_EQ((b << 16) | a, BigEndian(&zlib[at]));
    return decoded;
}

TEST(Picture, WritesAPngThatReadsBackPixelForPixel) {
    sim::Canvas canvas(300, 260, {10, 20, 30});  // rows span several stored blocks
    canvas.Rect(5, 6, 4, 3, {200, 100, 50});
    canvas.Line(0, 259, 299, 259, {1, 2, 3});
    const Decoded decoded = Decode(canvas.Png());
    ASSERT_EQ(decoded.width, 300);
    ASSERT_EQ(decoded.height, 260);
    ASSERT_EQ(decoded.rows.size(), 260u * (1 + 300 * 3));
    const auto pixel = [&](int x, int y) {
        const std::uint8_t* p = &decoded.rows[static_cast<std::size_t>(y) * (1 + 300 * 3) + 1 + x * 3];
        return std::vector<int>{p[0], p[1], p[2]};
    };
    EXPECT_EQ(pixel(0, 0), (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(pixel(5, 6), (std::vector<int>{200, 100, 50}));
    EXPECT_EQ(pixel(8, 8), (std::vector<int>{200, 100, 50}));
    EXPECT_EQ(pixel(9, 8), (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(pixel(150, 259), (std::vector<int>{1, 2, 3}));
}

TEST(Picture, TextInksOnlyItsGlyphCells) {
    sim::Canvas canvas(40, 12, {0, 0, 0});
    canvas.Text(1, 1, "I-", {255, 255, 255}, 2);
    EXPECT_EQ(canvas.At(1, 1).r, 255) << "I's top bar";
    EXPECT_EQ(canvas.At(1, 3).r, 0) << "I's stem is in the middle column";
    EXPECT_EQ(canvas.At(3, 3).r, 255);
    EXPECT_EQ(canvas.At(9, 5).r, 255) << "the dash, one cell further";
    EXPECT_EQ(canvas.At(9, 1).r, 0);
    EXPECT_EQ(sim::Canvas::TextWidth("I-", 2), 16);
}

// --- The lettering: every glyph read back from the pixels Text draws.

using Mask = std::vector<std::string>;  // rows of '#' and '.'

Mask Drawn(const std::string& text, int columns = 6) {
    sim::Canvas canvas(columns + 2, 7, {0, 0, 0});
    canvas.Text(1, 1, text, {255, 255, 255}, 1);
    Mask mask(5, std::string(columns, '.'));
    for (int row = 0; row < 5; ++row)
        for (int column = 0; column < columns; ++column)
            if (canvas.At(1 + column, 1 + row).r != 0) mask[row][column] = '#';
    return mask;
}

int CellsApart(const Mask& a, const Mask& b) {
    int apart = 0;
    for (std::size_t row = 0; row < a.size(); ++row)
        for (std::size_t column = 0; column < a[row].size(); ++column) apart += a[row][column] != b[row][column];
    return apart;
}

TEST(PictureLettering, VIsNotDrawnLikeU) {
    const Mask v = Drawn("V"), u = Drawn("U");
    int rowsApart = 0;
    for (int row = 0; row < 5; ++row) rowsApart += v[row] != u[row];
    EXPECT_GE(rowsApart, 3) << "a V that differs from U only at its foot reads as U";
}

TEST(PictureLettering, EveryLetterAndDigitHasAGlyphOfItsOwn) {
    const std::string characters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const Mask unknown = Drawn("?");
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const Mask mine = Drawn(characters.substr(i, 1));
        EXPECT_NE(mine, unknown) << characters[i] << " has no glyph";
        EXPECT_EQ(mine, Drawn(std::string(1, static_cast<char>(std::tolower(characters[i])))))
            << "lower case draws as upper case";
        for (std::size_t j = i + 1; j < characters.size(); ++j)
            EXPECT_GE(CellsApart(mine, Drawn(characters.substr(j, 1))), 2)
                << characters[i] << " and " << characters[j] << " are told apart by one cell or none";
    }
}

TEST(PictureLettering, TextWidthIsHowFarTextAdvancesWhateverTheGlyphWidths) {
    for (const std::string& text : {std::string("VELDRIN"), std::string("MW-I0"), std::string("A:1")}) {
        sim::Canvas whole(200, 12, {0, 0, 0}), pieces(200, 12, {0, 0, 0});
        whole.Text(0, 1, text, {255, 255, 255}, 2);
        int x = 0;
        for (char c : text) {
            pieces.Text(x, 1, std::string(1, c), {255, 255, 255}, 2);
            x += sim::Canvas::TextWidth(std::string(1, c), 2);
        }
        EXPECT_EQ(x, sim::Canvas::TextWidth(text, 2));
        EXPECT_EQ(whole.Png(), pieces.Png()) << text;
    }
}

// --- The session picture.

// A frame as the record has it: `target` locked, and the marker placed at (x, y) when `placed`.
sim::FrameRecord Frame(int number, const std::string& target, double x = 0, double y = 0, bool placed = false) {
    sim::FrameRecord frame;
    frame.frame = number;
    frame.target = target;
    frame.markerX = x, frame.markerY = y;
    frame.markerShown = placed;
    if (placed) frame.movieCalls = {"SetTargetPos(...)"};
    return frame;
}

sim::SessionTrace Session(std::vector<sim::FrameRecord> frames, std::uint32_t width = 1920,
                          std::uint32_t height = 1080) {
    sim::SessionTrace trace;
    trace.title = "test";
    trace.frames = std::move(frames);
    trace.player.assign(trace.frames.size(), {});
    trace.screenWidth = width, trace.screenHeight = height;
    return trace;
}

TEST(SessionPicture, FindsEveryLockSwitchAndReleaseWhereTheyHappened) {
    const sim::SessionTrace trace =
        Session({Frame(1, ""), Frame(2, "bandit", 300, 60), Frame(3, "bandit", 100, 20, true),
                 Frame(4, "wolf", -500, 0), Frame(5, "wolf", -160, 5, true), Frame(6, "wolf", -50, 2, true),
                 Frame(7, "", 0, 0), Frame(8, "bandit", 10, 10)});
    const std::vector<sim::LockEvent> events = sim::LockEvents(trace);
    ASSERT_EQ(events.size(), 4u);
    using Kind = sim::LockEvent::Kind;
    const auto expect = [](const sim::LockEvent& event, Kind kind, int frame, const char* target, double x, double y) {
        EXPECT_EQ(event.kind, kind) << frame;
        EXPECT_EQ(event.frame, frame);
        EXPECT_EQ(event.target, target) << frame;
        EXPECT_EQ(event.stageX, x) << frame;
        EXPECT_EQ(event.stageY, y) << frame;
    };
    expect(events[0], Kind::kLock, 2, "bandit", 300, 60);  // where the target stood when taken
    expect(events[1], Kind::kSwitch, 4, "wolf", -500, 0);
    expect(events[2], Kind::kRelease, 7, "wolf", -50, 2);  // where the marker last was
    expect(events[3], Kind::kLock, 8, "bandit", 10, 10);
}

TEST(SessionPicture, TheScreenPanelHasTheScreensAspect) {
    for (const auto& [width, height] : {std::pair{1920u, 1080u}, {1440u, 1080u}, {2560u, 1080u}, {1280u, 1024u}}) {
        const sim::ScreenPanel panel = sim::ScreenPanelFor(Session({}, width, height));
        EXPECT_TRUE(panel.sizeKnown);
        EXPECT_NEAR(double(panel.box.width) / panel.box.height, double(width) / height, 0.01) << width << "x" << height;
        EXPECT_GE(panel.box.width, 400) << "big enough to read";
    }
    const sim::ScreenPanel unknown = sim::ScreenPanelFor(Session({}, 0, 1080));
    EXPECT_FALSE(unknown.sizeKnown);
    EXPECT_NEAR(double(unknown.box.width) / unknown.box.height, 5.0 / 3.0, 0.01) << "the stage's own shape";
}

TEST(SessionPicture, TheScreensEdgesAreTheStagesAndTheCentreIsEnlargedOnlyWhenAllFits) {
    const sim::ScreenPanel whole = sim::ScreenPanelFor(Session({Frame(1, "a", 700, -400, true)}));
    ASSERT_EQ(whole.zoom, 1);
    EXPECT_NEAR(whole.X(-800), whole.box.x, 0.5);
    EXPECT_NEAR(whole.X(800), whole.box.x + whole.box.width, 0.5);
    EXPECT_NEAR(whole.Y(-480), whole.box.y, 0.5);
    EXPECT_NEAR(whole.Y(480), whole.box.y + whole.box.height, 0.5);

    // Nothing beyond a tenth of the half screen: the centre at 8x. A lock far out keeps 1x.
    EXPECT_EQ(sim::ScreenPanelFor(Session({Frame(1, "a", 60, 20, true)})).zoom, 8);
    EXPECT_EQ(sim::ScreenPanelFor(Session({Frame(1, "a", 790, 0), Frame(2, "a", 5, 0, true)})).zoom, 1);
    const sim::ScreenPanel half = sim::ScreenPanelFor(Session({Frame(1, "a", 300, 0, true)}));
    EXPECT_EQ(half.zoom, 2);
    EXPECT_NEAR(half.X(400), half.box.x + half.box.width, 0.5) << "2x shows the middle half of the screen";
}

TEST(SessionPicture, DrawsEachChangeOfTheLockAndColoursThePathByTime) {
    std::vector<sim::FrameRecord> frames = {Frame(1, "a", 400, 0)};  // lock far right
    for (int n = 2; n <= 20; ++n) frames.push_back(Frame(n, "a", 400 - 40.0 * (n - 1), 0, true));
    frames.push_back(Frame(21, "", 0, 0));  // released where the marker last was, (-360, 0)
    const sim::SessionTrace trace = Session(frames);
    const sim::ScreenPanel panel = sim::ScreenPanelFor(trace);
    const sim::Canvas canvas = sim::PaintSession(trace);
    const auto at = [&](double stageX, double stageY) {
        return canvas.At(static_cast<int>(std::lround(panel.X(stageX))),
                         static_cast<int>(std::lround(panel.Y(stageY))));
    };
    // Off the path (it runs along y = 0): the top of the lock's ring, an arm of the release's cross.
    const auto ink = [&](double x, double y) {
        const sim::Color color = canvas.At(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
        return color.r + color.g + color.b > 600;
    };
    EXPECT_TRUE(ink(panel.X(400), panel.Y(0) - 7)) << "a ring where the lock was taken";
    EXPECT_TRUE(ink(panel.X(-360) + 5, panel.Y(0) - 5)) << "a cross where it was let go";
    EXPECT_FALSE(ink(panel.X(40), panel.Y(0) - 6)) << "and no mark where nothing changed";

    const sim::Color early = at(320, 0), late = at(-280, 0);  // frames 3 and 18
    EXPECT_GT(early.b, early.r) << "early frames are blue";
    EXPECT_GT(late.r, late.b) << "late frames are yellow";
}

}  // namespace
