#pragma once

#include "ui/VbForm.h"

class QCheckBox;

namespace velmora {

// "Bandwidth Settings": shows and records the Diduvazov Adiru preference, the one setting the
// program keeps for the user.
class Form6 : public VbForm {
    Q_OBJECT
public:
    explicit Form6(AppContext& context);

    void Form_Load() override;
    void Form_Unload() override;

public slots:
    void Check1_Click();
    void Command1_Click();

private:
    // Saves "1" or "0"; a failure is reported and answers false.
    bool savePreference(const QString& setting);

    QCheckBox* m_check1;
};

} // namespace velmora
