// The decimal digits of the MFNs an export writes, one after another.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string_view>

class MfnDigits {
  public:
    // The digits of `mfn`. The export asks for 1, 2, 3 ... in turn, so the
    // last number is counted up in its digits, which costs less than
    // formatting each one.
    std::string_view Of(std::int32_t mfn) {
        if (mfn == last_ + 1 && last_ > 0) {
            CountUp();
        } else {
            size_ = static_cast<std::size_t>(
                std::to_chars(digits_, digits_ + sizeof digits_, mfn).ptr - digits_);
        }
        last_ = mfn;
        return {digits_, size_};
    }

  private:
    void CountUp() {
        std::size_t i = size_;
        while (i > 0 && digits_[i - 1] == '9') {
            digits_[--i] = '0';
        }
        if (i > 0) {
            ++digits_[i - 1];
            return;
        }
        // 9...9 becomes 10...0.
        digits_[0] = '1';
        digits_[size_++] = '0';
    }

    char digits_[16] = {};
    std::size_t size_ = 0;
    std::int32_t last_ = 0;
};
