#pragma once

#include "registry/Registry.h"

#include <QString>
#include <QVariant>

namespace velmora {

// The result text of the latest ReadKeyValue, whatever its outcome; empty until the first read.
// Every reader of the registry takes its result from here.
extern QString strRegValue;

// The program's registry value functions: one value read as text, or one value written with a
// type code (1 text, 3 the text's bytes, 4 a 32-bit number), opening and closing the key each time.
class Module2 {
public:
    explicit Module2(RegistryApi& registry);

    // Reads the value as text into `text`: a text value as stored (one trailing NUL dropped), a
    // number as its unsigned decimal text; any other type leaves the caller's text. True when
    // the value was read. On failure `text` keeps the caller's default. strRegValue gets the
    // result either way.
    bool ReadKeyValue(HKEY& root, const QString& keyPath, const QString& valueName, QString& text);

    // Writes the value, creating the key (and the keys above it) when missing. True on success;
    // on failure `value` becomes "" and lastError() tells why.
    bool WriteKeyValue(HKEY& root, const QString& keyPath, qint32& type, const QString& valueName,
                       QVariant& value);

    // Why the last failed WriteKeyValue failed, as the platform put it.
    const QString& lastError() const { return m_lastError; }

private:
    RegistryApi& m_registry;
    QString m_lastError;
};

} // namespace velmora
