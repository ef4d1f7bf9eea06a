// The work a reader may do for one file, counted as it is done.
//
// Counts, sizes and offsets in a file can make a reader loop far more often
// than the file's bytes justify: a record read again and again, a table
// rebuilt for every small chunk, an expansion that copies what it has
// already copied. Every loop whose trip count or cost per trip comes from
// the file charges its work to the load's meter. The allowance grows with
// the bytes of the input and with the output a reader makes of them (its
// pixels, its records), so a valid file never runs short; a crafted one is
// refused as damaged once the allowance is spent, after work in proportion
// to its size, and whatever the reader built is dropped as on any other
// error.
//
// A unit is about the work of reading or writing one byte.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>

// The allowance is spent: the reader refuses the file as damaged, with its
// own message for that.
class EWorkSpent : public std::runtime_error {
public:
    EWorkSpent() : std::runtime_error("The file asks for more work than its size allows") {}
};

class TWorkMeter {
public:
    // What any load may do, however small its input: headers, set-up.
    static constexpr uint64_t BaseAllowance = uint64_t(1) << 26;
    // For each byte of input: every byte may be read a few times over and
    // drive a little work of its own.
    static constexpr uint64_t PerInputByte = 16;
    // For each byte of output a reader makes (a bitmap's bytes, a record's):
    // decoding it, converting it and storing it.
    static constexpr uint64_t PerOutputByte = 8;

    explicit TWorkMeter(uint64_t inputBytes) { Grant(Product(inputBytes, PerInputByte)); }

    // More allowance, for output the reader now knows it will make.
    void Grant(uint64_t units) { allowance_ = units > UINT64_MAX - allowance_ ? UINT64_MAX : allowance_ + units; }

    // More allowance for `bytes` bytes of output.
    void GrantOutput(uint64_t bytes) { Grant(Product(bytes, PerOutputByte)); }

    // Counts work about to be done; raises EWorkSpent when it passes the allowance.
    void Charge(uint64_t units)
    {
        spent_ = units > UINT64_MAX - spent_ ? UINT64_MAX : spent_ + units;
        if (spent_ > allowance_) throw EWorkSpent();
    }

    uint64_t Spent() const { return spent_; }
    uint64_t Allowance() const { return allowance_; }

    // a * b, or UINT64_MAX when that does not fit: what a count times a
    // cost charges.
    static uint64_t Product(uint64_t a, uint64_t b) { return b && a > UINT64_MAX / b ? UINT64_MAX : a * b; }

private:
    uint64_t allowance_ = BaseAllowance;
    uint64_t spent_ = 0;
};

// The meter of the load this thread runs, for readers reached through an
// interface that cannot carry one (a picture reader's LoadFromStream). The
// outermost scope makes a meter for its input's bytes; a scope opened inside
// it (a picture stored inside another) shares that meter, since its bytes
// are already counted.
class TWorkScope {
public:
    explicit TWorkScope(uint64_t inputBytes);
    ~TWorkScope();
    TWorkScope(const TWorkScope&) = delete;
    TWorkScope& operator=(const TWorkScope&) = delete;

    TWorkMeter& Meter() { return *meter_; }
    // Whether this scope made the meter (no load encloses it).
    bool Outermost() const { return own_.has_value(); }

    // The meter of the current load; null outside every scope.
    static TWorkMeter* Current();

private:
    std::optional<TWorkMeter> own_;
    TWorkMeter* meter_;
    TWorkMeter* previous_;
};

// Charge or grant the current load's meter; outside a load nothing is
// counted (a decoder used on its own does only what its caller asks).
void ChargeWork(uint64_t units);
void GrantWork(uint64_t units);
void GrantOutputWork(uint64_t bytes);

// Runs `load` as a load of `inputBytes` bytes of input under a work scope.
// When the work is spent, the outermost load calls `refuse`, which raises
// the reader's own error for a damaged file; a load inside another passes
// EWorkSpent on, so that the enclosing reader refuses the whole file instead
// of skipping the part.
template <class FLoad, class FRefuse>
void MeteredLoad(uint64_t inputBytes, FLoad&& load, FRefuse&& refuse)
{
    TWorkScope scope(inputBytes);
    try {
        load();
    } catch (const EWorkSpent&) {
        if (!scope.Outermost()) throw;
        refuse();
        throw;  // refuse raises; should it not, the load still fails
    }
}
