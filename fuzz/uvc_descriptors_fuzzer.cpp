// Finding the RVX camera's extension unit in its USB descriptors, then the
// command register's sequences against a device that answers anything. The
// input is the descriptor block as the device sent it (device and
// configuration descriptors); the device's answers to the unit's queries are
// taken from the input's end.
//
// Invariants: the unit is -1 or a byte of the input; every query names that
// unit and carries the size its request takes; a sequence succeeds only when
// each of its steps did, and a state read gives a byte.
#include "extension_unit.h"
#include "fuzz_support.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace {

// Answers each query from the fuzzer's bytes: a result (mostly success) and,
// for a GET request, the bytes read.
class ScriptedTransport final : public corvane::ExtensionUnitTransport {
public:
    ScriptedTransport(FuzzedDataProvider* answers, uint8_t unit) : answers_(answers), unit_(unit) {}

    int Query(uint8_t unit, uint8_t selector, uint8_t query, std::span<uint8_t> data) override {
        FUZZ_CHECK(unit == unit_);
        FUZZ_CHECK(selector == corvane::kCommandControl || selector == corvane::kExchangeControl);
        switch (query) {
        case corvane::kUvcSetCur:
        case corvane::kUvcGetCur:
            FUZZ_CHECK(data.size() == 4);
            break;
        case corvane::kUvcGetLen:
            FUZZ_CHECK(data.size() == 2);
            break;
        case corvane::kUvcGetInfo:
            FUZZ_CHECK(data.size() == 1);
            break;
        default:
            FUZZ_CHECK(false && "unknown request");
        }
        ++queries;
        static constexpr int kResults[] = {0, 0, 0, 0, -EPIPE, -ENODEV, -ENOENT, -EINVAL};
        const int result = answers_->PickValueInArray(kResults);
        if (query != corvane::kUvcSetCur) {
            for (uint8_t& byte : data) {
                byte = answers_->ConsumeIntegral<uint8_t>();
            }
        }
        return result;
    }

    int queries = 0;

private:
    FuzzedDataProvider* answers_;
    const uint8_t unit_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int unit = corvane::FindFirstExtensionUnit(std::span<const uint8_t>(data, size));
    FUZZ_CHECK(unit >= -1 && unit <= 255);
    if (unit < 0) {
        return 0;
    }

    FuzzedDataProvider answers(data, size);
    auto owned = std::make_unique<ScriptedTransport>(&answers, static_cast<uint8_t>(unit));
    ScriptedTransport* transport = owned.get();
    corvane::ExtensionUnitControl control(std::move(owned), static_cast<uint8_t>(unit));
    FUZZ_CHECK(control.UnitId() == unit);

    const uint8_t command = answers.ConsumeIntegral<uint8_t>();
    int before = transport->queries;
    int result = corvane::SendCommandSequence(control, command);
    FUZZ_CHECK(result == 0 || result == -1);
    FUZZ_CHECK(result != 0 || transport->queries - before == 5);

    int state = -1000;
    before = transport->queries;
    result = corvane::ReadStateSequence(control, &state);
    FUZZ_CHECK(result == 0 || result == -1);
    if (result == 0) {
        FUZZ_CHECK(state >= 0 && state <= 255);
        FUZZ_CHECK(transport->queries - before == 8); // six writes, the length, the read
    } else {
        FUZZ_CHECK(state == -1000);
    }

    uint8_t reply[4] = {};
    result = corvane::ExchangeControl(control, answers.ConsumeIntegral<uint8_t>(), reply);
    FUZZ_CHECK(result == 0 || result == -1);

    uint16_t length = 0;
    uint8_t info = 0;
    control.QueryLength(corvane::kCommandControl, &length);
    control.ReadInfo(corvane::kExchangeControl, &info);
    return 0;
}
