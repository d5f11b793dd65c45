#pragma once

#include "modeminfo/ModemReport.h"
#include "ui/VbForm.h"

class QLabel;

namespace velmora {

// "Velmora - Modem Info": thirty registry values of the first installed modem, one label
// each, and "Save to File" to keep them as a text file. Leaves the main window usable.
class Form2 : public VbForm {
    Q_OBJECT
public:
    explicit Form2(AppContext& context);

    void Form_Load() override;

    // The result text of the latest registry read, program-wide: the same variable as
    // velmora::strRegValue, reachable through this window's class as well.
    static QString& strRegValue;

public slots:
    void Command1_Click();

private:
    QLabel* m_labels[kModemInfoRowCount];
};

} // namespace velmora
