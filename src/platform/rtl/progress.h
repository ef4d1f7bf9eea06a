// The progress gauge that long operations step: a minimum, a maximum and a
// position. The window shows it through the change callback.
#pragma once

#include <functional>

class TProgressBar {
public:
    int Min() const { return min_; }
    int Max() const { return max_; }
    int Position() const { return position_; }
    void SetMin(int v)
    {
        min_ = v;
        Changed();
    }
    void SetMax(int v)
    {
        max_ = v;
        Changed();
    }
    // The position is kept within the range, as a gauge control does.
    void SetPosition(int v)
    {
        position_ = v < min_ ? min_ : (v > max_ ? max_ : v);
        Changed();
    }

    // Called after every change (the window repaints the gauge).
    std::function<void(const TProgressBar&)> OnChange;

private:
    void Changed()
    {
        if (OnChange) OnChange(*this);
    }
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
};
