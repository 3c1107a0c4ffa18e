#include "serial/uart_model.h"

#include <algorithm>
#include <bit>

namespace korvanteslin {

namespace {

bool hasParity(Parity parity)
{
    return parity != Parity::None;
}

// The parity bit for `ones` data bits set.
bool parityBit(Parity parity, int ones)
{
    switch (parity) {
    case Parity::Even:
        return ones % 2 == 1;
    case Parity::Odd:
        return ones % 2 == 0;
    case Parity::Mark:
        return true;
    default:
        return false;
    }
}

// The line as the sender drives it, in half bits (1.5 stop bits is three).
std::vector<bool> lineOf(std::string_view bytes, const PortSettings& sent)
{
    std::vector<bool> halves;
    const auto put = [&halves](bool level, int count) { halves.insert(halves.end(), std::size_t(count), level); };
    const int stopHalves = sent.stopBits == StopBits::One ? 2 : sent.stopBits == StopBits::OneAndHalf ? 3 : 4;
    for (const char c : bytes) {
        const unsigned data = std::uint8_t(c) & ((1u << sent.dataBits) - 1);
        put(false, 2);
        for (int bit = 0; bit < sent.dataBits; ++bit)
            put((data >> bit) & 1u, 2);
        if (hasParity(sent.parity))
            put(parityBit(sent.parity, std::popcount(data)), 2);
        put(true, stopHalves);
    }
    return halves;
}

class Receiver {
public:
    Receiver(std::vector<bool> halves, std::size_t sentBytes, int sentRate, const PortSettings& read)
        : halves_(std::move(halves))
        , halvesPerByte_(sentBytes == 0 ? 1 : halves_.size() / sentBytes)
        , sentBytes_(sentBytes)
        , sentRate_(sentRate)
        , read_(read)
    {
    }

    std::vector<HeardChar> run()
    {
        std::vector<HeardChar> chars;
        for (std::size_t edge = nextEdge(0); edge < halves_.size(); edge = nextEdge(edge)) {
            // A start bit that is high again at its middle was a glitch.
            if (level(edge, 0)) {
                edge = sampled(edge, 0) + 1;
                continue;
            }
            const std::size_t stopSample = sampled(edge, stopBit());
            chars.push_back({character(edge), std::min(sentBytes_, stopSample / halvesPerByte_ + 1)});
            edge = stopSample + 1;
        }
        return chars;
    }

private:
    int stopBit() const { return 1 + read_.dataBits + (hasParity(read_.parity) ? 1 : 0); }

    // The half bit of the sender's line at the middle of the receiver's bit
    // `k` after the falling edge at half bit `edge`: (k + 1/2) receiver's bits
    // are (2k + 1) * sent rate / read rate of the sender's half bits, in whole
    // numbers so that no rounding moves a sample across a bit's edge.
    std::size_t sampled(std::size_t edge, int k) const
    {
        return edge + std::size_t((2 * std::int64_t(k) + 1) * sentRate_ / read_.baudRate);
    }

    bool level(std::size_t edge, int k) const
    {
        const std::size_t at = sampled(edge, k);
        return at >= halves_.size() || halves_[at]; // idle after the last byte
    }

    // The first falling edge at or after half bit `from` (the line is idle before the first).
    std::size_t nextEdge(std::size_t from) const
    {
        for (std::size_t at = from; at < halves_.size(); ++at)
            if (!halves_[at] && (at == 0 || halves_[at - 1]))
                return at;
        return halves_.size();
    }

    ReceivedChar character(std::size_t edge) const
    {
        ReceivedChar received;
        int ones = 0;
        bool anyHigh = false;
        for (int bit = 0; bit < read_.dataBits; ++bit) {
            const bool high = level(edge, 1 + bit);
            received.value |= std::uint8_t(unsigned(high) << bit);
            ones += high;
            anyHigh = anyHigh || high;
        }
        if (hasParity(read_.parity)) {
            const bool high = level(edge, 1 + read_.dataBits);
            received.parityError = high != parityBit(read_.parity, ones);
            anyHigh = anyHigh || high;
        }
        received.framingError = !level(edge, stopBit());
        received.lineBreak = received.framingError && !anyHigh;
        return received;
    }

    std::vector<bool> halves_;
    std::size_t halvesPerByte_; // every sent byte is as long as the others
    std::size_t sentBytes_;
    std::int64_t sentRate_; // the sender's bits a second
    PortSettings read_;
};

} // namespace

std::vector<HeardChar> receiveHeard(std::string_view bytes, const PortSettings& sent, const PortSettings& read)
{
    return Receiver(lineOf(bytes, sent), bytes.size(), sent.baudRate, read).run();
}

std::vector<ReceivedChar> receiveAs(std::string_view bytes, const PortSettings& sent, const PortSettings& read)
{
    std::vector<ReceivedChar> chars;
    for (const HeardChar& heard : receiveHeard(bytes, sent, read))
        chars.push_back(heard.received);
    return chars;
}

std::span<const HeardChar> heardBy(std::span<const HeardChar> reading, const FramePiece& piece)
{
    const auto after = [](std::size_t sent) {
        return [sent](const HeardChar& heard) { return heard.afterBytes <= sent; };
    };
    const auto begin = std::partition_point(reading.begin(), reading.end(), after(piece.from));
    const auto end = piece.last() ? reading.end() : std::partition_point(begin, reading.end(), after(piece.to));
    return {begin, end};
}

} // namespace korvanteslin
