#include "emulation/number_reading.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace korvanteslin {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Walks the text once, skipping blanks, and keeps the characters of the
// leading number in a form std::from_chars accepts (no "+", "." as the point).
class LeadingNumber {
public:
    LeadingNumber(std::string_view text, CommaIsPoint comma)
        : text_(text)
    {
        if (peek() == '-' || peek() == '+') {
            negative_ = next() == '-';
        }
        const std::size_t integerDigits = digits(true);
        std::size_t fractionDigits = 0;
        if (peek() == '.' || (comma == CommaIsPoint::Yes && peek() == ',')) {
            next();
            kept_ += '.';
            fractionDigits = digits(false);
        }
        if (integerDigits + fractionDigits == 0) {
            kept_.clear();
            return;
        }
        exponent();
    }

    bool empty() const { return kept_.empty(); }
    bool negative() const { return negative_; }
    const std::string& text() const { return kept_; }
    // Decimal order of the number's first significant digit, roughly; enough
    // to tell an overflow from an underflow.
    long long magnitude() const { return leadingOrder_ + exponent_; }

private:
    char peek()
    {
        while (pos_ < text_.size() && isBlank(text_[pos_]))
            ++pos_;
        return pos_ < text_.size() ? text_[pos_] : '\0';
    }

    char next()
    {
        const char c = peek();
        ++pos_;
        return c;
    }

    std::size_t digits(bool integerPart)
    {
        std::size_t count = 0;
        while (isDigit(peek())) {
            const char d = next();
            if (integerPart && (d != '0' || significant_))
                ++leadingOrder_;
            if (!integerPart && !significant_ && d == '0')
                --leadingOrder_;
            significant_ = significant_ || d != '0';
            kept_ += d;
            ++count;
        }
        return count;
    }

    void exponent()
    {
        if (peek() != 'e' && peek() != 'E')
            return;
        const std::size_t mark = pos_;
        const std::size_t keptMark = kept_.size();
        kept_ += next();
        bool negativeExponent = false;
        if (peek() == '-' || peek() == '+') {
            negativeExponent = peek() == '-';
            kept_ += next();
        }
        if (!isDigit(peek())) { // "1e" and "1e-" read as 1
            pos_ = mark;
            kept_.resize(keptMark);
            return;
        }
        long long value = 0;
        while (isDigit(peek())) {
            const char d = next();
            kept_ += d;
            if (value < 1'000'000'000)
                value = value * 10 + (d - '0');
        }
        exponent_ = negativeExponent ? -value : value;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::string kept_;
    bool negative_ = false;
    bool significant_ = false;
    long long leadingOrder_ = 0;
    long long exponent_ = 0;
};

} // namespace

double readNumber(std::string_view text)
{
    return readNumber(text, CommaIsPoint::Yes);
}

double readNumber(std::string_view text, CommaIsPoint comma)
{
    const LeadingNumber number(text, comma);
    if (number.empty())
        return 0.0;
    double value = 0.0;
    const std::string& digits = number.text();
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range)
        value = number.magnitude() > 0 ? std::numeric_limits<double>::max() : 0.0;
    else if (error != std::errc{} || !std::isfinite(value))
        value = 0.0;
    return number.negative() ? -value : value;
}

short floorToInt16(double value)
{
    const double whole = std::floor(value);
    if (whole < std::numeric_limits<short>::min())
        return std::numeric_limits<short>::min();
    if (whole > std::numeric_limits<short>::max())
        return std::numeric_limits<short>::max();
    return static_cast<short>(whole);
}

std::optional<std::int32_t> floorToInt32(double value)
{
    const double whole = std::floor(value);
    // Both bounds are exact in a double, so the comparison decides exactly.
    if (!(whole >= -2147483648.0 && whole <= 2147483647.0))
        return std::nullopt;
    return static_cast<std::int32_t>(whole);
}

} // namespace korvanteslin
