// The values some module-level variables have as the program starts, kept
// so that a reset can put them back: every module keeps its own, made in
// the file that defines the variables, after their definitions. Within one
// file the variables are initialised in order of definition, so it keeps
// the values the definitions give, before anything has run.
// std::atomic variables are read and written with relaxed loads and stores.
#pragma once

#include <atomic>
#include <cstddef>
#include <tuple>
#include <utility>

namespace korvane {

namespace start_values {

template <typename T>
struct Access {
    using Value = T;
    static const T& read(const T& variable) { return variable; }
    static void write(T& variable, const T& value) { variable = value; }
};

template <typename T>
struct Access<std::atomic<T>> {
    using Value = T;
    static T read(const std::atomic<T>& variable) { return variable.load(std::memory_order_relaxed); }
    static void write(std::atomic<T>& variable, const T& value) {
        variable.store(value, std::memory_order_relaxed);
    }
};

}  // namespace start_values

template <typename... T>
class StartValues {
public:
    explicit StartValues(T&... variables)
        : variables_(variables...), values_(start_values::Access<T>::read(variables)...) {}

    // Every variable back at the value it had as the program started.
    void restore() const { restore(std::index_sequence_for<T...>{}); }

private:
    template <std::size_t... I>
    void restore(std::index_sequence<I...>) const {
        (start_values::Access<T>::write(std::get<I>(variables_), std::get<I>(values_)), ...);
    }

    std::tuple<T&...> variables_;
    std::tuple<typename start_values::Access<T>::Value...> values_;
};

}  // namespace korvane
