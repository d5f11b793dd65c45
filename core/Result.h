#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace velmora {

// Why an engine call failed, as a sentence the user can be shown ("c:\windows\win.ini: ...").
struct Failure {
    QString reason;
};

inline Failure failure(QString reason)
{
    return Failure{std::move(reason)};
}

// The outcome of an engine call: its value, or the reason it failed. The one error shape inside
// the program; only the registry and profile call surfaces keep Windows-style result codes.
template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Failure failed) : m_reason(std::move(failed.reason)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    const T& value() const& { return *m_value; }
    T& value() & { return *m_value; }
    T&& value() && { return std::move(*m_value); }
    const T* operator->() const { return &*m_value; }
    T* operator->() { return &*m_value; }
    const T& operator*() const& { return *m_value; }
    T& operator*() & { return *m_value; }
    const QString& reason() const { return m_reason; }

private:
    std::optional<T> m_value;
    QString m_reason;
};

template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failed) : m_ok(false), m_reason(std::move(failed.reason)) {}

    bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    const QString& reason() const { return m_reason; }

private:
    bool m_ok = true;
    QString m_reason;
};

} // namespace velmora
