#pragma once

#include <type_traits>
#include <utility>
#include <variant>

namespace quillfern {

// A value or the error that stopped it. Failures travel as values; nothing here throws.
template <class T, class E> class Result {
public:
    // Holds a default T; exists because awaiting helpers need default-constructible results.
    Result() requires std::is_default_constructible_v<T>
    = default;
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : m_state(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T &value() const & { return std::get<0>(m_state); }
    T &value() & { return std::get<0>(m_state); }
    T &&value() && { return std::get<0>(std::move(m_state)); }
    const T &operator*() const & { return value(); }
    // From a temporary the value is moved out, so `for (x : *call())` never walks a destroyed result.
    T operator*() && { return std::move(*this).value(); }
    const T *operator->() const { return &value(); }

    const E &error() const { return std::get<1>(m_state); }

private:
    std::variant<T, E> m_state;
};

} // namespace quillfern
