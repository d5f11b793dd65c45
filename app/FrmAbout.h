#pragma once

#include "core/Result.h"
#include "registry/Registry.h"
#include "ui/VbForm.h"

namespace velmora {

// The About box: the product's name, a few words on what it does, and a way to start the
// system information tool.
class frmAbout : public VbForm {
    Q_OBJECT
public:
    explicit frmAbout(AppContext& context);

    // Starts the system information tool, or says it is unavailable.
    void StartSysInfo();

    // Reads one value as text: true when the key opened and the value was read, KeyVal then
    // set as far as the value's type allows; false with KeyVal empty otherwise; a failure for
    // a value that reports no bytes. Reads through the registry calls directly, with a buffer
    // of 1024 characters.
    Result<bool> GetKeyValue(HKEY& KeyRoot, const QString& KeyName, const QString& SubKeyRef,
                             QString& KeyVal);

public slots:
    void Command1_Click();
    void Command2_Click();
};

} // namespace velmora
