// The command register's write sequences of the emulated RVX camera.
#include "sim/rvx_camera.h"

#include <array>
#include <cstring>

namespace sim {
namespace {

using Bytes = std::array<uint8_t, 4>;

constexpr Bytes kCommandSecond = {0x20, 0x38, 0xB4, 0x02};
constexpr Bytes kCommandThird = {0x20, 0x40, 0xB4, 0x00};
constexpr Bytes kCommandFourth = {0x20, 0x41, 0xB4, 0x00};
constexpr Bytes kCommandFifth = {0x20, 0x44, 0xB4, 0x01};
constexpr Bytes kStateThird = {0x20, 0x44, 0xB4, 0x02};
constexpr Bytes kStateFourth = {0x00, 0x4C, 0xB4, 0x00};
constexpr Bytes kStateFifth = {0x00, 0x4C, 0xB4, 0xFF};
constexpr Bytes kStateSixth = {0x00, 0x4D, 0xB4, 0xFF};

bool Is(std::span<const uint8_t> bytes, const Bytes& expected) {
    return std::memcmp(bytes.data(), expected.data(), expected.size()) == 0;
}

} // namespace

RvxRegisterSequence::Outcome RvxRegisterSequence::Write(std::span<const uint8_t> bytes) {
    state_read_ = false;
    const Step step = step_;
    step_ = Step::kIdle;
    if (bytes.size() != 4) {
        return Outcome::kRefused;
    }
    // The first write of both sequences carries the command (0 for a state read).
    if (step == Step::kIdle) {
        if (bytes[0] != 0x20 || bytes[1] != 0x46 || bytes[2] != 0xB4) {
            return Outcome::kRefused;
        }
        command_ = bytes[3];
        step_ = Step::kFirst;
        return Outcome::kAccepted;
    }
    switch (step) {
    case Step::kFirst:
        if (Is(bytes, kCommandSecond)) {
            step_ = Step::kSecond;
            return Outcome::kAccepted;
        }
        break;
    case Step::kSecond:
        if (Is(bytes, kCommandThird)) {
            step_ = Step::kCommand3;
            return Outcome::kAccepted;
        }
        if (Is(bytes, kStateThird) && command_ == 0) {
            step_ = Step::kState3;
            return Outcome::kAccepted;
        }
        break;
    case Step::kCommand3:
        if (Is(bytes, kCommandFourth)) {
            step_ = Step::kCommand4;
            return Outcome::kAccepted;
        }
        break;
    case Step::kCommand4:
        if (Is(bytes, kCommandFifth)) {
            return Outcome::kCommand;
        }
        break;
    case Step::kState3:
        if (Is(bytes, kStateFourth)) {
            step_ = Step::kState4;
            return Outcome::kAccepted;
        }
        break;
    case Step::kState4:
        if (Is(bytes, kStateFifth)) {
            step_ = Step::kState5;
            return Outcome::kAccepted;
        }
        break;
    case Step::kState5:
        if (Is(bytes, kStateSixth)) {
            state_read_ = true;
            return Outcome::kStateLatched;
        }
        break;
    case Step::kIdle:
        break;
    }
    return Outcome::kRefused;
}

bool RvxRegisterSequence::TakeStateRead() {
    const bool allowed = state_read_;
    state_read_ = false;
    return allowed;
}

} // namespace sim
