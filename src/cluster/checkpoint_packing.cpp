#include "cluster/checkpoint_packing.h"

#include <cstdint>
#include <cstring>
#include <array>
#include <stdexcept>

namespace {

class Packer {
public:
    template <typename T>
    void put(const T& value)
    {
        const auto* at = reinterpret_cast<const unsigned char*>(&value);
        bytes.insert(bytes.end(), at, at + sizeof(T));
    }
    template <typename T>
    void put_all(const std::vector<T>& values)
    {
        put(static_cast<uint64_t>(values.size()));
        const auto* at = reinterpret_cast<const unsigned char*>(values.data());
        bytes.insert(bytes.end(), at, at + values.size() * sizeof(T));
    }
    std::vector<unsigned char> bytes;
};

class Unpacker {
public:
    explicit Unpacker(const std::vector<unsigned char>& bytes) : bytes_(bytes) {}
    template <typename T>
    T take()
    {
        T value;
        std::memcpy(&value, next(sizeof(T)), sizeof(T));
        return value;
    }
    template <typename T>
    std::vector<T> take_all()
    {
        const auto count = take<uint64_t>();
        if (count > (bytes_.size() - at_) / sizeof(T)) throw std::runtime_error("checkpoints cut short");
        std::vector<T> values(count);
        const unsigned char* from = next(count * sizeof(T));
        if (count > 0) std::memcpy(values.data(), from, count * sizeof(T));  // no null pointer into memcpy
        return values;
    }
    bool done() const { return at_ == bytes_.size(); }

private:
    const unsigned char* next(size_t size)
    {
        if (size > bytes_.size() - at_) throw std::runtime_error("checkpoints cut short");
        const unsigned char* here = bytes_.data() + at_;
        at_ += size;
        return here;
    }
    const std::vector<unsigned char>& bytes_;
    size_t at_ = 0;
};

}  // namespace

std::vector<unsigned char> pack_checkpoints(const std::vector<StripeCheckpoints>& stripes)
{
    Packer packer;
    packer.put(static_cast<uint64_t>(stripes.size()));
    for (const StripeCheckpoints& stripe : stripes) {
        packer.put(stripe.first);
        packer.put(stripe.end);
        packer.put(stripe.states_from);
        packer.put_all(stripe.offsets);
        packer.put(static_cast<uint64_t>(stripe.states.size()));
        for (const EngineState& state : stripe.states) {
            packer.put(state.last_rows);
            packer.put_all(state.thinned);
            packer.put_all(state.cleaned);
        }
    }
    return std::move(packer.bytes);
}

std::vector<StripeCheckpoints> unpack_checkpoints(const std::vector<unsigned char>& bytes)
{
    Unpacker unpacker(bytes);
    const auto count = unpacker.take<uint64_t>();
    std::vector<StripeCheckpoints> stripes;
    for (uint64_t s = 0; s < count; ++s) {
        StripeCheckpoints& stripe = stripes.emplace_back();
        stripe.first = unpacker.take<int32_t>();
        stripe.end = unpacker.take<int32_t>();
        stripe.states_from = unpacker.take<int32_t>();
        stripe.offsets = unpacker.take_all<int32_t>();
        const auto states = unpacker.take<uint64_t>();
        for (uint64_t k = 0; k < states; ++k) {
            EngineState& state = stripe.states.emplace_back();
            state.last_rows = unpacker.take<std::array<int32_t, 4>>();
            state.thinned = unpacker.take_all<uint64_t>();
            state.cleaned = unpacker.take_all<unsigned char>();
        }
        if (stripe.states.size() != stripe.offsets.size()) throw std::runtime_error("checkpoints without states");
    }
    if (!unpacker.done()) throw std::runtime_error("checkpoints followed by more");
    return stripes;
}
