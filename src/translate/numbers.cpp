// Numbers and money.
#include "translate/numbers.h"

#include <cstddef>
#include <limits>

#include "translate/translate.h"
#include "translate/translator_state.h"

namespace vocalith::translate {

const char* const CardinalWords[20] = {
    "zIHrOW ",   "wAHn ",     "tUW ",       "THrIY ",       "fOWr ",      "fAYv ",     "sIHks ",
    "sEHvAXn ",  "EYt ",      "nAYn ",      "tEHn ",        "IYlEHvAXn ", "twEHlv ",   "THERtIYn ",
    "fOWrtIYn ", "fIHftIYn ", "sIHkstIYn ", "sEHvEHntIYn ", "EYtIYn ",    "nAYntIYn ",
};

const char* const OrdinalWords[20] = {
    "zIHrOWEHTH ", "fERst ",       "sEHkAHnd ",      "THERd ",      "fOWrTH ",
    "fIHfTH ",     "sIHksTH ",     "sEHvEHnTH ",     "EYtTH ",      "nAYnTH ",
    "tEHnTH ",     "IYlEHvEHnTH ", "twEHlvTH ",      "THERtIYnTH ", "fAOrtIYnTH ",
    "fIHftIYnTH ", "sIHkstIYnTH ", "sEHvEHntIYnTH ", "EYtIYnTH ",   "nAYntIYnTH ",
};

const char* const TensWords[8] = {
    "twEHntIY ", "THERtIY ",    "fAOrtIY ", "fIHftIY ",
    "sIHkstIY ", "sEHvEHntIY ", "EYtIY ",   "nAYntIY ",
};

const char* const OrdinalTensWords[8] = {
    "twEHntIYEHTH ", "THERtIYEHTH ",    "fOWrtIYEHTH ", "fIHftIYEHTH ",
    "sIHkstIYEHTH ", "sEHvEHntIYEHTH ", "EYtIYEHTH ",   "nAYntIYEHTH ",
};

namespace {

constexpr const char* kBillion = "bIHlIYAXn ";
constexpr const char* kMillion = "mIHlIYAXn ";
constexpr const char* kThousand = "THAWzAEnd ";
constexpr const char* kHundred = "hAHndrEHd ";
constexpr const char* kBillionth = "bIHlIYAXnTH ";
constexpr const char* kMillionth = "mIHlIYAXnTH ";
constexpr const char* kThousandth = "THAWzAEndTH ";
constexpr const char* kHundredth = "hAHndrEHdTH ";
constexpr const char* kNumberAnd = "AEnd ";
constexpr const char* kCardinalMinus = "mAYnAHs ";
constexpr const char* kOrdinalMinus = "mAHnAXs ";
constexpr const char* kOverflow = "IHnfIHnIHtIY ";
constexpr const char* kDollar = "dAAlER ";
constexpr const char* kDollars = "dAAlAArz ";
constexpr const char* kMoneyAnd = "AAnd ";
constexpr const char* kCent = "sEHnt ";
constexpr const char* kCents = "sEHnts ";
constexpr const char* kPoint = "pOYnt ";

int DigitValue(int c) {
    return c - '0';
}

// Thousands are split off for 1000..1099 and from 2000 on; 1100..1999 are
// read as eleven hundred .. nineteen hundred ninety-nine.
bool SaysThousands(int32_t n) {
    return (n >= 1000 && n <= 1099) || n >= 2000;
}

// Accumulates a digit string into a signed 32-bit value. A string whose value
// passes 2147483647 cannot be said as a number; it is then spoken digit by
// digit by the digits' names instead (wrapping around would say a wrong,
// possibly negative, number). Leading zeros do not count towards the value,
// so "0000000000005" is 5. No memory is needed beyond the ten significant
// digits that fit: once the value overflows, the digits so far are spoken and
// every further digit is spoken as it arrives; nothing else is emitted while
// a digit string is being read.
class DigitString {
  public:
    explicit DigitString(Translator& t) : t_(t) {}

    void Add(int digitChar) {
        if (overflowed_) {
            t_.SayAscii(digitChar);
            return;
        }
        const int d = DigitValue(digitChar);
        if (value_ == 0 && significant_ == 0 && d == 0) {
            ++leadingZeros_;
            return;
        }
        if (value_ > (std::numeric_limits<int32_t>::max() - d) / 10) {
            overflowed_ = true;
            for (size_t i = 0; i < leadingZeros_; ++i) t_.SayAscii('0');
            for (int i = 0; i < significant_; ++i) t_.SayAscii(digits_[i]);
            t_.SayAscii(digitChar);
            return;
        }
        value_ = value_ * 10 + d;
        digits_[significant_++] = static_cast<char>(digitChar);
    }
    bool Overflowed() const { return overflowed_; }
    int32_t Value() const { return value_; }

  private:
    Translator& t_;
    int32_t value_ = 0;
    bool overflowed_ = false;
    size_t leadingZeros_ = 0;
    int significant_ = 0;  // at most 10 before an overflow
    char digits_[10] = {};
};

// The ordinal suffix that a number ending in `lastDigit` takes.
const char* SuffixFor(int lastDigit) {
    switch (lastDigit) {
        case '1':
            return "ST";
        case '2':
            return "ND";
        case '3':
            return "RD";
        default:
            return "TH";
    }
}

}  // namespace

namespace {

// The parts above a thousand: each is said in cardinal words followed by its
// scale word, which is ordinal only when nothing is left after it.
struct Scale {
    int32_t unit;
    const char* word;
    const char* ordinalWord;
};
constexpr Scale kScales[] = {
    {1000000000, kBillion, kBillionth},
    {1000000, kMillion, kMillionth},
    {1000, kThousand, kThousandth},
};

// Says the billions, millions and thousands of n and leaves the rest in n;
// false when nothing is left to say. "AEnd " follows a scale word when what
// is left is 1 to 99.
bool SayLargeParts(Translator& t, int32_t& n, bool ordinal) {
    for (const Scale& scale : kScales) {
        const bool splits = scale.unit == 1000 ? SaysThousands(n) : n >= scale.unit;
        if (!splits) continue;
        t.SayCardinal(n / scale.unit);
        n %= scale.unit;
        if (n == 0) {
            t.EmitString(ordinal ? scale.ordinalWord : scale.word);
            return false;
        }
        t.EmitString(scale.word);
        if (n < 100) t.EmitString(kNumberAnd);
    }
    return true;
}

}  // namespace

void Translator::SayCardinal(int32_t n) {
    if (n < 0) {
        EmitString(kCardinalMinus);
        // The negation of -2147483648 does not fit in 32 bits.
        if (n == std::numeric_limits<int32_t>::min()) {
            EmitString(kOverflow);
            return;
        }
        n = -n;
    }
    if (!SayLargeParts(*this, n, false)) return;
    if (n >= 100) {
        EmitString(CardinalWords[n / 100]);
        EmitString(kHundred);
        n %= 100;
        if (n == 0) return;
    }
    if (n >= 20) {
        EmitString(TensWords[(n - 20) / 10]);
        n %= 10;
        if (n == 0) return;
    }
    EmitString(CardinalWords[n]);
}

void Translator::SayOrdinal(int32_t n) {
    if (n < 0) {
        EmitString(kOrdinalMinus);
        if (n == std::numeric_limits<int32_t>::min()) {
            EmitString(kOverflow);
            return;
        }
        n = -n;
    }
    if (!SayLargeParts(*this, n, true)) return;
    if (n >= 100) {
        EmitString(CardinalWords[n / 100]);
        n %= 100;
        if (n == 0) {
            EmitString(kHundredth);
            return;
        }
        EmitString(kHundred);
    }
    if (n >= 20) {
        if (n % 10 == 0) {
            EmitString(OrdinalTensWords[(n - 20) / 10]);
            return;
        }
        EmitString(TensWords[(n - 20) / 10]);
        n %= 10;
    }
    EmitString(OrdinalWords[n]);
}

void Translator::ScanNumber() {
    DigitString digits(*this);
    int lastDigit = C0;
    digits.Add(C0);
    AdvanceWindow();
    while (IsDigit(C0)) {
        lastDigit = C0;
        digits.Add(C0);
        AdvanceWindow();
    }

    // Only the last digit selects the suffix, so "11th" is no ordinal while
    // "11st" is. A digit string too long to say as a number has been spoken
    // by digit names; its suffix is then spelled like any glued letters.
    const char* suffix = SuffixFor(lastDigit);
    if (!digits.Overflowed() && ToUpper(C0) == suffix[0] && ToUpper(C1) == suffix[1] &&
        !IsLetter(C2) && !IsDigit(C2)) {
        SayOrdinal(digits.Value());
        AdvanceWindow();
        AdvanceWindow();
        return;
    }
    if (!digits.Overflowed()) SayCardinal(digits.Value());

    if (C0 == '.' && IsDigit(C1)) {
        EmitString(kPoint);
        AdvanceWindow();
        while (IsDigit(C0)) {
            SayAscii(C0);
            AdvanceWindow();
        }
    }
    while (IsLetter(C0)) {
        SayAscii(C0);
        AdvanceWindow();
    }
}

void Translator::ScanDollars() {
    DigitString digits(*this);
    AdvanceWindow();  // the dollar sign is not spoken
    // Thousands commas, a trailing one included, are consumed and ignored.
    while (IsDigit(C0) || C0 == ',') {
        if (IsDigit(C0)) digits.Add(C0);
        AdvanceWindow();
    }
    if (!digits.Overflowed()) SayCardinal(digits.Value());
    const bool one = !digits.Overflowed() && digits.Value() == 1;

    if (C0 == '.' && IsDigit(C1)) {
        AdvanceWindow();
        if (IsDigit(C1) && !IsDigit(C2)) {
            // Exactly two digits after the point: cents.
            EmitString(one ? kDollar : kDollars);
            if (C0 == '0' && C1 == '0') {
                AdvanceWindow();
                AdvanceWindow();
                return;
            }
            EmitString(kMoneyAnd);
            const int32_t cents = 10 * DigitValue(C0) + DigitValue(C1);
            SayCardinal(cents);
            EmitString(cents == 1 ? kCent : kCents);
            AdvanceWindow();
            AdvanceWindow();
            return;
        }
        // One digit, or three and more: a decimal amount, always plural.
        EmitString(kPoint);
        while (IsDigit(C0)) {
            SayAscii(C0);
            AdvanceWindow();
        }
        EmitString(kDollars);
        return;
    }
    EmitString(one ? kDollar : kDollars);
}

}  // namespace vocalith::translate
