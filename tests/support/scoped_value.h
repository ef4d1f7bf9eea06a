// A global setting changed for the length of a scope, such as what a
// bitmap, a level or a project may take: the suites lower it to reach a
// limit with small files, and every later test finds it as it was.
#pragma once

#include <type_traits>

template <class T>
class TScopedValue {
public:
    TScopedValue(T& variable, std::type_identity_t<T> value) : variable_(variable), saved_(variable)
    {
        variable_ = value;
    }
    ~TScopedValue() { variable_ = saved_; }
    TScopedValue(const TScopedValue&) = delete;
    TScopedValue& operator=(const TScopedValue&) = delete;

private:
    T& variable_;
    T saved_;
};
