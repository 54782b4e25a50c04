#pragma once

#include <utility>
#include <variant>

// The error half of an Expected, so that a failure can be returned even when the
// value and error types are the same.
template <typename E> struct Failure
{
    E error;
};

template <typename E> Failure<std::decay_t<E>> failure(E&& error)
{
    return {std::forward<E>(error)};
}

// A value or a typed error; std::expected is not available with this toolchain.
template <typename T, typename E> class [[nodiscard]] Expected
{
public:
    Expected(T value) : m_data(std::in_place_index<0>, std::move(value)) {}
    template <typename F>
    Expected(Failure<F> f) : m_data(std::in_place_index<1>, E(std::move(f.error)))
    {
    }

    bool hasValue() const { return m_data.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    T& value() & { return std::get<0>(m_data); }
    const T& value() const& { return std::get<0>(m_data); }
    T&& value() && { return std::get<0>(std::move(m_data)); }
    const E& error() const { return std::get<1>(m_data); }

private:
    std::variant<T, E> m_data;
};

// The result of an operation that returns nothing but may fail.
template <typename E> using Status = Expected<std::monostate, E>;

inline constexpr std::monostate ok{};
