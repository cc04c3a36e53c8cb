#include "targeting/Geometry.h"

#include <cmath>
#include <limits>
#include <string>

#include "aimpoint/AimPointTable.h"
#include "host/Host.h"
#include "settings/Settings.h"

double ReducedAngle(double angle) {
    if (!std::isfinite(angle)) return std::numeric_limits<double>::quiet_NaN();
    return std::fabs(angle) > kSteppedTurns * kTwoPi ? std::fmod(angle, kTwoPi) : angle;
}

CameraAngles AnglesFromRotation(const host::NiMatrix3& rotation) {
    const auto& m = rotation.m;
    const double e = m[2][1];
    CameraAngles angles;
    float h = 0;
    if (std::fabs(e - 1.0) < kGimbalTolerance) {
        angles.pitch = kHalfPiFloat;
        h = SingleAtan2(m[1][0], m[0][0]);
    } else if (std::fabs(e + 1.0) < kGimbalTolerance) {
        angles.pitch = -kHalfPiFloat;
        h = SingleAtan2(m[1][0], m[0][0]);
    } else {
        angles.pitch = static_cast<float>(std::asin(e));
        angles.roll = SingleAtan2(-m[2][0], m[2][2]);
        h = SingleAtan2(-m[0][1], m[1][1]);
    }
    angles.heading = static_cast<float>(WrapToTurn(-static_cast<double>(h)));
    return angles;
}

namespace {

bool InState(const host::PlayerCamera& camera, std::uint32_t slot) {
    return camera.currentState != nullptr && camera.currentState == camera.states[slot];
}

const host::NiNode* FirstPersonNode(const host::PlayerCamera& camera) {
    return static_cast<const host::FirstPersonState*>(camera.states[host::kCameraStateFirstPerson])->node;
}

host::ThirdPersonState* ThirdPersonOf(const host::PlayerCamera& camera) {
    return static_cast<host::ThirdPersonState*>(camera.states[host::kCameraStateThirdPerson]);
}

}  // namespace

host::NiPoint3 GetCameraPosition(const host::PlayerCamera& camera, host::PlayerCharacter& player) {
    if (InState(camera, host::kCameraStateFirstPerson)) {
        if (camera.cameraRoot != nullptr) return camera.cameraRoot->worldTranslation;
        const host::NiNode* node = FirstPersonNode(camera);
        if (node == nullptr) return host::FallbackAimPosition(&player);
        return {player.position.x, player.position.y, node->localTranslation.z + player.position.z};
    }
    if (InState(camera, host::kCameraStateThirdPerson)) {
        host::NiPoint3 position;
        host::Call<&host::HostTable::GetStateCameraPosition>(camera.currentState, &position);
        return position;
    }
    return {player.position.x, player.position.y, host::FallbackAimPosition(&player).z};
}

CameraAngles GetCameraAngles(const host::PlayerCamera& camera, const host::PlayerCharacter& player) {
    const host::NiPoint3& rotation = player.rotation;
    if (InState(camera, host::kCameraStateFirstPerson) && FirstPersonNode(camera) != nullptr) {
        CameraAngles angles = AnglesFromRotation(FirstPersonNode(camera)->worldRotate);
        angles.pitch = rotation.x - angles.pitch;
        return angles;
    }
    if (InState(camera, host::kCameraStateThirdPerson)) {
        const host::ThirdPersonState* state = ThirdPersonOf(camera);
        return {rotation.x + state->pitchOffset, 0.0f, rotation.z + state->headingOffset};
    }
    // Any other state, and a first-person state without its node: the player's own rotation.
    return {rotation.x, rotation.y, rotation.z};
}

namespace {

constexpr std::size_t kSkeletonPathBufferSize = 260;

const host::NiAVObject* BodyPartNode(host::NiNode* root, const host::TESRace& race) {
    const host::BGSBodyPartData* parts = race.bodyPartData;
    if (parts == nullptr || parts->firstPart == nullptr || parts->firstPart->nodeName.Empty()) return nullptr;
    return host::FindNodeByName(root, &parts->firstPart->nodeName);
}

const host::NiAVObject* SkeletonTableNode(host::NiNode* root, host::Actor& actor, const host::TESRace& race) {
    const bool female =
        actor.baseForm != nullptr && host::CallOr<&host::HostTable::IsFemaleActorBase>(false, actor.baseForm);
    const char* path = race.skeleton[female ? 1 : 0].path;
    if (path == nullptr) return nullptr;
    // Lowercased on the stack: this runs every frame and must not allocate. A path too
    // long for the buffer is longer than every key, so it could not match anyway.
    char lowered[kSkeletonPathBufferSize];
    std::size_t length = 0;
    for (; path[length] != '\0'; ++length) {
        if (length == sizeof lowered) return nullptr;
        lowered[length] = AsciiLower(path[length]);
    }
    const host::FixedString* nodeName = LookupAimNode(std::string_view(lowered, length));
    return nodeName ? host::FindNodeByName(root, nodeName) : nullptr;
}

}  // namespace

host::NiPoint3 ResolveAimPoint(host::Actor& actor) {
    host::NiNode* root = host::ActorRootNode(&actor);
    if (root != nullptr && actor.race != nullptr) {
        if (const host::NiAVObject* node = BodyPartNode(root, *actor.race)) return node->worldTranslation;
        if (const host::NiAVObject* node = SkeletonTableNode(root, actor, *actor.race)) return node->worldTranslation;
    }
    return host::FallbackAimPosition(&actor);
}
