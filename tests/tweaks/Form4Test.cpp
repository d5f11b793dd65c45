#include "tweaks/Form4.h"
#include "app/Form1.h"
#include "platform/FileFixtures.h"
#include "platform/Registry.h"
#include "support/TestMachine.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace velmora {
namespace {

using testing::TestMachine;

const QByteArray kAdapterKey = "System\\CurrentControlSet\\Services\\Class\\Net\\0000";
const QByteArray kModemKey = "System\\CurrentControlSet\\Services\\Class\\Modem\\0000";
const QByteArray kInitKey = "System\\CurrentControlSet\\Services\\Class\\Modem\\0000\\Settings\\Init";

const QByteArray kHeader = "REGEDIT4\r\n\r\n";
const QByteArray kAdapterBlock =
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Net\\0000]\r\n";
const QByteArray kInitBlock =
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem\\0000\\Settings\\Init]\r\n";
const QByteArray kModemBlock =
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem\\0000]\r\n"
    "\"Model\"=\"Accura 56K\"\r\n";

const QString kQuestion =
    QStringLiteral("By Making your downloads faster, the 'Time Remaining' will be inaccurate\r\nProceede?");

struct Stored {
    quint32 type = 0;
    QByteArray data;
    bool operator==(const Stored&) const = default;
};

class Form4Test : public ::testing::Test {
protected:
    QString registryFile() const { return machine.root() + QStringLiteral("/system.reg"); }

    void writeRegistry(const QByteArray& text) const
    {
        ASSERT_TRUE(testing::writeBytes(registryFile(), text));
    }

    // What the registry holds now, read the way any other program of the machine would.
    std::optional<Stored> stored(const QByteArray& key, const QByteArray& name) const
    {
        RegistryApi registry(registryFile());
        HKEY handle = 0;
        if (registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_ALL_ACCESS_9X, &handle) != ERROR_SUCCESS)
            return std::nullopt;
        Stored value;
        quint8 buffer[1024] = {};
        quint32 size = sizeof buffer;
        const long result = registry.RegQueryValueExA(handle, name, &value.type, buffer, &size);
        registry.RegCloseKey(handle);
        if (result != ERROR_SUCCESS)
            return std::nullopt;
        value.data = QByteArray(reinterpret_cast<const char*>(buffer), size);
        return value;
    }

    Form1* mainWindow() { return machine.app().windows().find<Form1>(); }

    // Loads the main window and opens this window from its "Modem Settings" button.
    Form4* openModemSettings()
    {
        auto* main = machine.app().windows().load(QStringLiteral("Form1"));
        EXPECT_NE(main, nullptr);
        if (!main)
            return nullptr;
        main->show();
        QTest::mouseClick(main->findChild<QPushButton*>(QStringLiteral("cmdCustomModemSet")), Qt::LeftButton);
        form = machine.app().windows().find<Form4>();
        EXPECT_NE(form, nullptr);
        return form;
    }

    template <typename T = QPushButton> T* control(const char* name) const
    {
        auto* widget = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void click(const char* name) const { QTest::mouseClick(control<QAbstractButton>(name), Qt::LeftButton); }
    bool checked(const char* name) const { return control<QCheckBox>(name)->isChecked(); }

    TestMachine machine;
    Form4* form = nullptr;
};

TEST_F(Form4Test, ControlsCarryTheirTextsAndPlaces)
{
    writeRegistry(kHeader);
    ASSERT_NE(openModemSettings(), nullptr);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Velmora - Modem Settings"));
    EXPECT_EQ(form->size(), QSize(291, 172));

    const struct {
        const char* name;
        const char* text;
        const char* tooltip;
        QRect place;
    } controls[] = {
        {"Label1", "Make your Dial Up Faster", "", {8, 8, 137, 17}},
        {"Command1", "Set", "Click to make your Dial-Up Faster", {200, 8, 81, 17}},
        {"Label2", "Speed Up Downloads", "", {8, 32, 113, 17}},
        {"Command2", "Set", "Click to speed up downloads", {200, 32, 81, 17}},
        {"Check1",
         "SlowNet On / Off",
         "Check to turn ON Slownet / Uncheck to turn Off slownet",
         {8, 64, 113, 17}},
        {"Command3", "Set", "Click to change settings", {200, 64, 81, 17}},
        {"Check2",
         "IPX Header Compression On / Off",
         "Click to turn ON IPX Header Compression / Uncheck to turn it OFF",
         {8, 88, 185, 17}},
        {"Command4", "Set", "Click to change settings", {200, 88, 81, 17}},
        {"Check3",
         "Point To Point IP On / Off",
         "Check to turn ON Point To Point IP / Uncheck to turn it OFF",
         {8, 112, 145, 17}},
        {"Command5", "Set", "Click to change settings", {200, 112, 81, 17}},
        {"tips2", "Tips: Read 'ModemTips.txt' for Tips / Help", "", {0, 144, 273, 17}},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.name);
        QWidget* widget = control<QWidget>(c.name);
        ASSERT_NE(widget, nullptr);
        const QString text = widget->property("text").toString();
        EXPECT_EQ(text.toStdString(), c.text);
        EXPECT_EQ(widget->toolTip().toStdString(), c.tooltip);
        // Every control sits where it was put and is wide enough for its whole text.
        EXPECT_EQ(widget->pos(), c.place.topLeft());
        EXPECT_EQ(widget->height(), c.place.height());
        EXPECT_GE(widget->width(), widget->sizeHint().width());
        if (!qobject_cast<QCheckBox*>(widget)) { // a check box is exactly as wide as its box and caption
            EXPECT_GE(widget->width(), c.place.width());
        }
        EXPECT_TRUE(widget->isEnabled());
    }
    EXPECT_TRUE(control<QLabel>("tips2")->font().bold());
}

TEST_F(Form4Test, LoadShowsOnlyTheTextsZeroAndOneAsSwitchStates)
{
    const struct {
        const char* name;
        QByteArray value; // the SLOWNET line, empty when missing
        bool boxChecked;
    } cases[] = {
        {"missing", "", false},
        {"text 1", "\"SLOWNET\"=\"1\"\r\n", true},
        {"text 0", "\"SLOWNET\"=\"0\"\r\n", false},
        {"number 1", "\"SLOWNET\"=dword:00000001\r\n", true},
        {"binary 01, as this window writes it", "\"SLOWNET\"=hex:30,31\r\n", false},
        {"text 01", "\"SLOWNET\"=\"01\"\r\n", false},
        {"text 1 with its terminator", "\"SLOWNET\"=hex(1):31,00\r\n", true},
        {"text 1 with a blank", "\"SLOWNET\"=\"1 \"\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeRegistry(kHeader + kAdapterBlock + c.value);
        ASSERT_NE(openModemSettings(), nullptr);
        EXPECT_EQ(checked("Check1"), c.boxChecked);
        EXPECT_FALSE(checked("Check2"));
        EXPECT_FALSE(checked("Check3"));
        form->close();
    }
}

TEST_F(Form4Test, OnlyTheExactCommandDisablesTheModemButtons)
{
    const struct {
        const char* name;
        QByteArray registry;
        bool enabled;
    } cases[] = {
        {"AT%C0", kHeader + kInitBlock + "\"2\"=\"AT%C0\"\r\n", false},
        {"other letter case", kHeader + kInitBlock + "\"2\"=\"at%c0\"\r\n", true},
        {"another command", kHeader + kInitBlock + "\"2\"=\"ATM0\"\r\n", true},
        {"value missing", kHeader + kInitBlock + "\"1\"=\"AT%C0\"\r\n", true},
        {"key missing", kHeader + kModemBlock, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeRegistry(c.registry);
        ASSERT_NE(openModemSettings(), nullptr);
        EXPECT_EQ(control("Command1")->isEnabled(), c.enabled);
        EXPECT_EQ(control("Command2")->isEnabled(), c.enabled);
        form->close();
    }
}

TEST_F(Form4Test, AnExistingInitialisationValueIsNeverReplaced)
{
    writeRegistry(kHeader + kInitBlock + "\"2\"=\"at%c0\"\r\n");
    ASSERT_NE(openModemSettings(), nullptr);
    const QByteArray before = testing::readBytes(registryFile());

    click("Command1");
    machine.boxes().expect(kQuestion, MsgIcon::None, MsgButtons::YesNo, MsgAnswer::Yes);
    click("Command2");

    EXPECT_EQ(machine.boxes().shown().size(), 1u);
    EXPECT_EQ(testing::readBytes(registryFile()), before);
}

TEST_F(Form4Test, SetWritesTheCommandOnceAndCreatesAMissingKey)
{
    for (const char* button : {"Command1", "Command2"}) {
        SCOPED_TRACE(button);
        writeRegistry(kHeader + kModemBlock); // no Settings\Init key at all
        ASSERT_NE(openModemSettings(), nullptr);
        const bool asks = QByteArray(button) == "Command2";

        if (asks)
            machine.boxes().expect(kQuestion, MsgIcon::None, MsgButtons::YesNo, MsgAnswer::Yes);
        machine.boxes().expect(QStringLiteral("Settings were applied!"));
        click(button);
        machine.boxes().verifyAllShown();
        EXPECT_EQ(stored(kInitKey, "2"), (Stored{REG_SZ, "AT%C0"}));
        EXPECT_TRUE(control(button)->isEnabled()); // only a load disables it

        // Pressed again while the window stays open, it finds the value and does nothing.
        const QByteArray after = testing::readBytes(registryFile());
        if (asks)
            machine.boxes().expect(kQuestion, MsgIcon::None, MsgButtons::YesNo, MsgAnswer::Yes);
        click(button);
        machine.boxes().verifyAllShown();
        EXPECT_EQ(testing::readBytes(registryFile()), after);
        EXPECT_EQ(stored(kModemKey, "Model"), (Stored{REG_SZ, "Accura 56K"})); // the key above is kept
        form->close();
    }
}

TEST_F(Form4Test, AnsweringNoTouchesNothing)
{
    writeRegistry(kHeader + kModemBlock);
    ASSERT_NE(openModemSettings(), nullptr);
    const QByteArray before = testing::readBytes(registryFile());

    machine.boxes().expect(kQuestion, MsgIcon::None, MsgButtons::YesNo, MsgAnswer::No);
    machine.boxes().expect(QStringLiteral("Nothing was changed!"));
    click("Command2");

    EXPECT_EQ(testing::readBytes(registryFile()), before);
    EXPECT_EQ(stored(kInitKey, "2"), std::nullopt);
}

TEST_F(Form4Test, SetWritesEachSwitchAsItsBoxShowsIt)
{
    const struct {
        const char* check;
        const char* button;
        QByteArray value;
        Stored on, off;
        const char* onMessage;
        const char* offMessage;
    } switches[] = {
        {"Check1",
         "Command3",
         "SLOWNET",
         {REG_BINARY, "01"},
         {REG_BINARY, "00"},
         "Slownet was Turned ON",
         "Slownet was Turned OFF"},
        {"Check2",
         "Command4",
         "IPXHeaderCompression",
         {REG_SZ, "1"},
         {REG_SZ, "0"},
         "IPX Header Compression was Turned ON",
         "IPX Header Compression was Turned OFF"},
        {"Check3",
         "Command5",
         "PointToPointIP",
         {REG_SZ, "1"},
         {REG_SZ, "0"},
         "Point To Point IP was Turned ON",
         "Point To Point IP was Turned OFF"},
    };
    writeRegistry(kHeader + kModemBlock); // the adapter's key is created by the first write
    ASSERT_NE(openModemSettings(), nullptr);

    for (const auto& s : switches) {
        SCOPED_TRACE(s.button);
        click(s.check); // ticking alone writes nothing
        EXPECT_EQ(stored(kAdapterKey, s.value), std::nullopt);

        machine.boxes().expect(QString::fromLatin1(s.onMessage));
        click(s.button);
        EXPECT_EQ(stored(kAdapterKey, s.value), s.on);

        click(s.check);
        machine.boxes().expect(QString::fromLatin1(s.offMessage));
        click(s.button);
        EXPECT_EQ(stored(kAdapterKey, s.value), s.off);
    }
    // SLOWNET as written is binary: the next opening shows it unchecked; the texts read back.
    for (const char* check : {"Check1", "Check2", "Check3"})
        click(check);
    machine.boxes().expect(QStringLiteral("Slownet was Turned ON"));
    click("Command3");
    machine.boxes().expect(QStringLiteral("IPX Header Compression was Turned ON"));
    click("Command4");
    form->close();
    ASSERT_NE(openModemSettings(), nullptr);
    EXPECT_FALSE(checked("Check1"));
    EXPECT_TRUE(checked("Check2"));
    EXPECT_FALSE(checked("Check3"));
}

TEST_F(Form4Test, HoldsTheMainWindowOffWhileOpen)
{
    writeRegistry(kHeader);
    ASSERT_NE(openModemSettings(), nullptr);
    Form1* main = mainWindow();
    EXPECT_FALSE(main->isEnabled());

    // A second press of the main window's button cannot reach it, so nothing loads again.
    QTest::mouseClick(main->findChild<QPushButton*>(QStringLiteral("cmdCustomModemSet")), Qt::LeftButton);
    EXPECT_EQ(machine.app().windows().find<Form4>(), form);

    form->close(); // as the close box does
    EXPECT_TRUE(main->isEnabled());
    EXPECT_EQ(machine.app().windows().find<Form4>(), nullptr);

    ASSERT_NE(openModemSettings(), nullptr);
    EXPECT_FALSE(main->isEnabled());
}

TEST_F(Form4Test, AWriteThatFailsIsReportedInsteadOfTheSuccess)
{
    // A damaged registry file is never overwritten, so every write fails.
    const QByteArray garbage("\x00\xff garbage \x01\x02\r\n[unterminated", 27);
    writeRegistry(garbage);
    ASSERT_NE(openModemSettings(), nullptr);

    const QString failure = QStringLiteral("The change could not be saved.\nHKEY_LOCAL_MACHINE\\");
    const QString adapter = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Net\\0000\\");
    const QString init =
        QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Modem\\0000\\Settings\\Init\\2");
    const struct {
        const char* button;
        QString what;
        bool asks;
    } cases[] = {
        {"Command1", init, false},
        {"Command2", init, true},
        {"Command3", adapter + QStringLiteral("SLOWNET"), false},
        {"Command4", adapter + QStringLiteral("IPXHeaderCompression"), false},
        {"Command5", adapter + QStringLiteral("PointToPointIP"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        if (c.asks)
            machine.boxes().expect(kQuestion, MsgIcon::None, MsgButtons::YesNo, MsgAnswer::Yes);
        const QString expected = failure + c.what + QStringLiteral(": ");
        machine.boxes().expectStartingWith(expected, MsgIcon::Critical);
        click(c.button);
        machine.boxes().verifyAllShown();
        EXPECT_GT(machine.boxes().lastText().size(), expected.size()) << "the reason is missing";
    }
    EXPECT_EQ(testing::readBytes(registryFile()), garbage);
}

} // namespace
} // namespace velmora
