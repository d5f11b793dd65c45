#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>
#include <utility>

namespace velmora {

// Why an engine call failed, as a sentence the user can be shown ("c:\windows\win.ini: ..."),
// and for a text that could not be read, the line it failed on.
struct Failure {
    QString reason;
    int line = 0; // 1-based; 0 when the failure lies on no line of a text
};

inline Failure failure(QString reason, int line = 0)
{
    return Failure{std::move(reason), line};
}

// The outcome of an engine call: its value, or the reason it failed. The one error shape inside
// the program; only the registry and profile call surfaces keep Windows-style result codes.
// Reaching for the value of a failed result is a fault of the caller, caught by an assertion.
template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Failure failed) : m_failure(std::move(failed)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    const T& value() const& { return *checked(); }
    T& value() & { return *checked(); }
    T&& value() && { return std::move(*checked()); }
    const T* operator->() const { return checked(); }
    T* operator->() { return checked(); }
    const T& operator*() const& { return *checked(); }
    T& operator*() & { return *checked(); }
    const QString& reason() const { return m_failure.reason; }
    int line() const { return m_failure.line; }

private:
    const T* checked() const
    {
        Q_ASSERT_X(ok(), "Result::value", "the call failed; its result holds no value");
        return &*m_value;
    }
    T* checked()
    {
        Q_ASSERT_X(ok(), "Result::value", "the call failed; its result holds no value");
        return &*m_value;
    }

    std::optional<T> m_value;
    Failure m_failure;
};

template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failed) : m_ok(false), m_failure(std::move(failed)) {}

    bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    const QString& reason() const { return m_failure.reason; }
    int line() const { return m_failure.line; }

private:
    bool m_ok = true;
    Failure m_failure;
};

} // namespace velmora
