// The replay record: the session frame by frame as JSON, for the replay page. The README's
// "replay" paragraph describes every field.

#include <cmath>
#include <cstdio>
#include <fstream>

#include "sim/scenario/Scenario.h"

namespace sim {

namespace {

constexpr int kFormatVersion = 1;

// JSON has no NaN or infinities; a record may hold them (a scenario can ask for them), so
// they are written as the strings "nan", "inf" and "-inf".
std::string Number(double value, const char* format) {
    if (std::isnan(value)) return "\"nan\"";
    if (std::isinf(value)) return value > 0 ? "\"inf\"" : "\"-inf\"";
    char text[40];
    std::snprintf(text, sizeof text, format, value);
    return text;
}
// Positions and angles are 32-bit floats in the game: nine digits give them back exactly.
std::string Float(double value) { return Number(value, "%.9g"); }
// The numbers sent to the movie are doubles: seventeen digits.
std::string Double(double value) { return Number(value, "%.17g"); }

std::string Text(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string Bool(bool value) { return value ? "true" : "false"; }

std::string Point(const Point3& at) { return "[" + Float(at.x) + "," + Float(at.y) + "," + Float(at.z) + "]"; }

const char* AimFrom(FrameScene::Actor::Aim aim) {
    switch (aim) {
        case FrameScene::Actor::Aim::kNode: return "\"node\"";
        case FrameScene::Actor::Aim::kFallback: return "\"fallback\"";
        default: return "null";
    }
}

void WriteFrame(std::ostream& out, const FrameRecord& frame, const FrameScene& scene, const SessionTrace& trace) {
    out << "{\"frame\":" << frame.frame << ",\"camera\":{\"mode\":" << (scene.firstPerson ? "\"first\"" : "\"third\"")
        << ",\"position\":" << Point(scene.camera) << ",\"heading\":" << Float(scene.headingDegrees)
        << ",\"pitch\":" << Float(scene.pitchDegrees) << ",\"roll\":" << Float(scene.rollDegrees)
        << ",\"fov\":" << Float(scene.fieldOfView) << "},\"screen\":[" << scene.screenWidth << "," << scene.screenHeight
        << "],\"player\":{\"position\":" << Point(scene.player) << ",\"heading\":" << Float(frame.headingDegrees)
        << ",\"pitch\":" << Float(frame.pitchDegrees) << "},\"menuOpen\":" << Bool(scene.menuOpen)
        << ",\"target\":" << (frame.target.empty() ? std::string("null") : Text(frame.target))
        << ",\"markerShown\":" << Bool(frame.markerShown) << ",\"movieVisible\":" << Bool(frame.movieVisible)
        << ",\"movieCalls\":[";
    for (std::size_t i = 0; i < scene.movieCalls.size(); ++i) {
        const FrameScene::Call& call = scene.movieCalls[i];
        out << (i ? "," : "") << "{\"path\":" << Text(call.path) << ",\"args\":[";
        for (std::size_t j = 0; j < call.numbers.size(); ++j) out << (j ? "," : "") << Double(call.numbers[j]);
        out << "]}";
    }
    out << "],\"actors\":[";
    for (std::size_t i = 0; i < scene.actors.size(); ++i) {
        const FrameScene::Actor& actor = scene.actors[i];
        out << (i ? "," : "") << "{\"name\":" << Text(trace.actors[i].name) << ",\"position\":" << Point(actor.position)
            << ",\"hostile\":" << Bool(actor.hostile) << ",\"dead\":" << Bool(actor.dead)
            << ",\"dying\":" << Bool(actor.dying) << ",\"loaded\":" << Bool(actor.loaded)
            << ",\"locked\":" << Bool(actor.locked) << ",\"aimFrom\":" << AimFrom(actor.aimFrom) << ",\"aim\":"
            << (actor.aimFrom == FrameScene::Actor::Aim::kNotAsked ? std::string("null") : Point(actor.aim)) << "}";
    }
    out << "]}";
}

}  // namespace

void WriteReplay(const SessionTrace& trace, std::ostream& out) {
    out << "{\"format\":\"veldrin-replay\",\"version\":" << kFormatVersion << ",\"scenario\":" << Text(trace.title)
        << ",\n\"events\":[";
    for (std::size_t i = 0; i < trace.events.size(); ++i) {
        const StoryEvent& event = trace.events[i];
        out << (i ? ",\n" : "\n") << "{\"frame\":" << event.frame << ",\"kind\":" << Text(event.kind)
            << ",\"actor\":" << (event.actor.empty() ? std::string("null") : Text(event.actor))
            << ",\"text\":" << Text(event.text) << "}";
    }
    out << "],\n\"frames\":[";
    for (std::size_t i = 0; i < trace.frames.size() && i < trace.scenes.size(); ++i) {
        out << (i ? ",\n" : "\n");
        WriteFrame(out, trace.frames[i], trace.scenes[i], trace);
    }
    out << "]}\n";
}

bool WriteReplay(const SessionTrace& trace, const std::string& jsonPath) {
    std::ofstream out(jsonPath, std::ios::binary);
    if (!out) return false;
    WriteReplay(trace, out);
    return static_cast<bool>(out.flush());
}

}  // namespace sim
