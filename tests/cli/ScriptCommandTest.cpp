#include "modeminfo/Form2.h"

#include "cli/Output.h"
#include "machine/Backups.h"

#include "support/HiveFixtures.h"
#include "support/WindowTest.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

namespace velmora {
namespace {

namespace t = velmora::testing;

// The program run as from a terminal without a display (over SSH, say): no DISPLAY,
// WAYLAND_DISPLAY or platform, a data home of its own (its backups go there).
struct Outcome {
    int exitCode = -1;
    QByteArray out, err;
};
Outcome runVelmora(const QString& dataHome, const QStringList& arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    environment.insert("XDG_DATA_HOME", dataHome);
    environment.insert("XDG_CONFIG_HOME", dataHome + "/config");
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(VELMORA_BINARY, arguments);
    EXPECT_TRUE(process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}
// A script on the machine, '|' between its arguments.
Outcome runScript(const QString& machine, const QString& dataHome, const QString& arguments)
{
    return runVelmora(dataHome, QStringList{"--machine", machine} + arguments.split('|'));
}

// Every file and folder under root with a digest of its bytes; the registry's lock file, which
// any reader may leave, aside.
QMap<QString, QByteArray> filesUnder(const QString& root)
{
    QMap<QString, QByteArray> files;
    for (QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        const QString path = it.next();
        if (!path.endsWith(".lock"))
            files.insert(QDir(root).relativeFilePath(path),
                         QCryptographicHash::hash(t::readBytes(path), QCryptographicHash::Sha256).toHex());
    }
    return files;
}

// One machine the script and the windows start from, as a folder or as a real drive (whose
// Windows folder is WIN98 and whose SYSTEM.DAT is a real one).
const QByteArray kModem =
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem\\0000]\r\n"
    "\"Manufacturer\"=\"Zoltrix M\xfcller\"\r\n\"Model\"=\"Rainbow 56K\"\r\n"
    "\"Reset\"=hex:41,54,5a\r\n\"DevLoader\"=dword:00000007\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem\\0000\\Init]\r\n"
    "\"1\"=\"ATZ\"\r\n\"2\"=\"AT&F\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Serial]\r\n"
    "\"TxFIFO\"=dword:00000010\r\n\"RxFIFO\"=dword:0000000e\r\n\r\n";
// The terminal's machine besides: the modem's own initialisation, and switches stored otherwise than
// switching writes them (shown as they are, neither on nor off).
const QByteArray kOwnInit =
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem\\0000\\"
    "Settings\\Init]\r\n\"2\"=\"ATZ\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Net\\0000]\r\n"
    "\"SLOWNET\"=\"00\"\r\n\"IPXHeaderCompression\"=hex:02\r\n\"PointToPointIP\"=\"2\"\r\n\r\n";
enum class Layout { Folder, Drive, FolderWithOwnInit };

void layOut(const QString& root, Layout layout)
{
    const QByteArray winIni =
        "[windows]\r\nload=\r\n\r\n[Ports]\r\nCOM1:=9600,n,8,1,x\r\nCOM2:=2400,n,8,1,p\r\n";
    const QByteArray systemIni = "[boot]\r\nshell=Explorer.exe\r\n\r\n[386Enh]\r\nebios=*ebios\r\n";
    const QString windows = root + (layout == Layout::Drive ? "/WIN98/" : "/drive_c/WINDOWS/");
    ASSERT_TRUE(t::writeBytes(windows + "WIN.INI", winIni) &&
                t::writeBytes(windows + "SYSTEM.INI", systemIni));
    if (layout != Layout::Drive) {
        const QByteArray own = layout == Layout::FolderWithOwnInit ? kOwnInit : QByteArray();
        ASSERT_TRUE(t::writeBytes(root + "/system.reg", t::win98Excerpt() + kModem + own));
        return;
    }
    ASSERT_TRUE(t::writeBytes(root + "/MSDOS.SYS", "[Paths]\r\nWinDir=C:\\WIN98\r\n"));
    ASSERT_TRUE(t::writeBytes(windows + "SYSTEM.DAT", t::hiveFile("SYSTEM.DAT")));
    // The main window writes a missing MaxInstance when it opens; the drive has one already.
    RegistryApi registry(std::make_unique<HiveStore>(windows + "SYSTEM.DAT"));
    ASSERT_EQ(t::putValue(registry, "System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000\\Ndi",
                          "MaxInstance", REG_SZ, "10"),
              ERROR_SUCCESS);
}

// A row: what the script sets, what `show --json` then reads (group/setting=value), and the
// clicks that make the same choice in the windows: "open:BUTTON=FORM" opens a window from the
// main one, "pick:LIST=ITEM", "type:BOX=TEXT", "click:NAME", "yes:QUESTION" answers the next question
// Yes, "says:BUTTON=MESSAGE" clicks and expects the message.
struct SetRow {
    const char* name;
    const char* arguments; // '|' between arguments
    const char* shown;     // ';' between settings
    const char* clicks;    // ';' between steps
    Layout layout = Layout::Folder;
};

class ScriptSetTest : public t::WindowTest, public ::testing::WithParamInterface<SetRow> {
protected:
    ScriptSetTest() : WindowTest([](const QString& root) { layOut(root, GetParam().layout); }) {}

    void clickThrough(const QStringList& steps)
    {
        ASSERT_NE(mainWindow(), nullptr);
        for (const QString& step : steps) {
            const QString action = step.section(':', 0, 0), rest = step.section(':', 1);
            const QString name = rest.section('=', 0, 0), text = rest.section('=', 1);
            if (action == "yes")
                machine.boxes.expect(rest, MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::Yes);
            else if (action == "pick")
                pick(name, text);
            else if (action == "type")
                type(name, text);
            else if (action == "says")
                clickExpecting(name, text);
            else // "click", or "open" from the main window
                click(name, action == "open" ? mainWindow() : nullptr);
            if (action == "open")
                window = machine.app().windows().loaded(text);
        }
    }
};

// The script's set writes exactly the bytes the windows write for the same choice, on a second
// copy of the same machine, and show reads back what was set. The report, to standard output and to
// a file, is byte for byte what the Modem Info window saves. The windows back up every file they
// change, a drive's WIN.INI and SYSTEM.DAT in one session included: restoring their backup puts the
// machine back.
TEST_P(ScriptSetTest, WritesWhatTheWindowWritesShowsAndReportsIt)
{
    const SetRow& row = GetParam();
    QTemporaryDir script;
    const QString scriptMachine = script.path() + "/machine";
    layOut(scriptMachine, row.layout);

    const Outcome set = runScript(scriptMachine, script.path() + "/data", QString("set|") + row.arguments);
    ASSERT_EQ(set.exitCode, 0) << set.err.constData();
    EXPECT_TRUE(set.out.contains("The files as they were are kept in " + script.path().toUtf8() +
                                 "/data/velmora/backups/"))
        << set.out.constData();

    const QMap<QString, QByteArray> before = filesUnder(machine.root());
    clickThrough(QString(row.clicks).split(';'));
    EXPECT_EQ(filesUnder(scriptMachine), filesUnder(machine.root()));
    const QString saved = script.path() + "/saved.txt", reported = script.path() + "/reported.txt";
    if (window)
        window->close();
    machine.saveAs.pick(saved);
    ASSERT_NE(openFrom<Form2>("cmdModemInfo"), nullptr);
    clickExpecting("Command1", "Information has been saved to " + saved);
    EXPECT_EQ(t::readBytes(saved).startsWith("Manufacturer - Zoltrix M\xfcller\r\n"),
              row.layout == Layout::Folder);
    const Outcome report = runScript(scriptMachine, script.path() + "/data", "report");
    EXPECT_TRUE(report.exitCode == 0 && report.out == t::readBytes(saved)) << report.err.constData();
    EXPECT_EQ(runScript(scriptMachine, script.path() + "/data", "report|" + reported).exitCode, 0);
    EXPECT_EQ(t::readBytes(reported), t::readBytes(saved));
    ASSERT_TRUE(restoreBackup(machine.backupsFolder(), QString(), machine.root(), false));
    EXPECT_EQ(filesUnder(machine.root()), before);

    const Outcome show = runScript(scriptMachine, script.path() + "/data", "show|--json");
    ASSERT_EQ(show.exitCode, 0) << show.err.constData();
    const QJsonObject settings = QJsonDocument::fromJson(show.out).object().value("settings").toObject();
    for (const QString& expected : QString(row.shown).split(';')) {
        const QStringList part = expected.split(QRegularExpression("[/=]")); // group/setting=value
        EXPECT_EQ(settings[part[0]].toObject()[part[1]].toString(), part.value(2)) << expected.toStdString();
    }
}

const SetRow kSetRows[] = {
    {"Port", "com2|19200,e,7,1,x", "standard-com-settings/com2=19200,e,7,1,x",
     "pick:cmbCommPorts=Com Port 2;type:comBps=19200;pick:comParity=Even;pick:comData=7;pick:comStop=1;"
     "pick:comFlow=Xon / Xoff;says:cmdApplyCom=Comm Settings have Been Changed!"},
    {"MaxInstances", "max-instances|12", "modem-settings/max-instances=12",
     "type:txtMaxInst=12;says:cmdSetMaxInst=Max Instance has been set!"},
    {"FixedMtu", "mtu|1000", "modem-settings/mtu=1000",
     "click:optMTU_2;says:Command3=Dial-Up Adapter MTU Packet Size has been set!"},
    {"AutoMtu", "mtu|auto", "modem-settings/mtu=0",
     "click:optMTU_0;says:Command3=Dial-Up Adapter MTU Packet Size has been set!"},
    {"FixedAolMtu", "aol-mtu|576", "modem-settings/aol-mtu=576",
     "click:optMTU_1;says:Command2=America Online MTU Packet Size has been set!"},
    {"TypedAolMtu", "aol-mtu|1400", "modem-settings/aol-mtu-typed=1400",
     "click:optMTU_4;type:txtMTU=1400;says:Command2=America Online MTU Packet Size has been set!"},
    {"ModemAtC0", "modem-at-c0|on", "modem-tweaks/modem-at-c0=on",
     "open:cmdCustomModemSet=Form4;says:Command1=Settings were applied!"},
    {"SlownetOn", "slownet|on", "modem-tweaks/slownet=on",
     "open:cmdCustomModemSet=Form4;click:Check1;says:Command3=Slownet was Turned ON"},
    {"IpxOff", "ipx-header-compression|off", "modem-tweaks/ipx-header-compression=off",
     "open:cmdCustomModemSet=Form4;says:Command4=IPX Header Compression was Turned OFF"},
    {"PointToPointOn", "point-to-point-ip|on", "modem-tweaks/point-to-point-ip=on",
     "open:cmdCustomModemSet=Form4;click:Check3;says:Command5=Point To Point IP was Turned ON"},
    {"PortBuffer", "com3-buffer|2048|com3-irq|4",
     "buffer-settings/com3-buffer=2048;buffer-settings/com3-irq=4",
     "open:cmdCustomBufferSet=Form5;type:Text1=3;type:txtIRQ=4;type:txtBuffer=2048;yes:Are You Sure You "
     "Want To Set This Buffer?;says:cmdSetBuffer=Buffer Was Set! You Should Restart to apply the Changes"},
    {"FifoSizes", "fifo-tx|4MB|fifo-rx|16k", "buffer-settings/fifo-tx=4MB;buffer-settings/fifo-rx=16k",
     "open:cmdCustomBufferSet=Form5;pick:cmbTx=4MB;pick:cmbRx=16k;"
     "says:cmdSetFIFOBuff=Receive Buffer and Transmit Buffer have been set!"},
    {"FifoByNumberWithStoredOther", "fifo-rx|8196", "buffer-settings/fifo-tx=16k;buffer-settings/fifo-rx=8MB",
     "open:cmdCustomBufferSet=Form5;pick:cmbRx=8MB;"
     "says:cmdSetFIFOBuff=Receive Buffer and Transmit Buffer have been set!"},
    {"OnDrive", "com2|19200,e,7,1,x|slownet|on",
     "standard-com-settings/com2=19200,e,7,1,x;modem-tweaks/slownet=on",
     "pick:cmbCommPorts=Com Port 2;type:comBps=19200;pick:comParity=Even;pick:comData=7;pick:comStop=1;"
     "pick:comFlow=Xon / Xoff;says:cmdApplyCom=Comm Settings have Been Changed!;"
     "open:cmdCustomModemSet=Form4;click:Check1;says:Command3=Slownet was Turned ON",
     Layout::Drive},
};
INSTANTIATE_TEST_SUITE_P(EverySetting, ScriptSetTest, ::testing::ValuesIn(kSetRows),
                         [](const ::testing::TestParamInfo<SetRow>& info) {
                             return std::string(info.param.name);
                         });

// The program answers on the terminal and writes nothing: what a script is refused or told to fix
// writes and backs up nothing, the message naming the setting and giving the window's reason; a
// dry run prints the change. The machine (MACHINE) has a backup, of a WIN.INI changed since by
// another program; NOWHERE is a path where nothing is.
TEST(TerminalTest, AnswersAndWritesNothing)
{
    const struct Case {
        const char* arguments;
        int exitCode;
        const char *out, *err;                                    // a part of each
        enum { Changed, Gone, LinkOut, Damaged } since = Changed; // WIN.INI; Damaged: the registry
    } cases[] = {
        {"--version", 0, "Velmora 1.2\n", ""},
        {"--list-backups", 0, "machine MACHINE\n    MACHINE/drive_c/WINDOWS/WIN.INI\n", ""},
        {"--restore --machine MACHINE", 1, "Backup ",
         "left alone, changed since Velmora wrote it (--force puts it back): MACHINE/drive_c"},
        {"--restore --machine MACHINE", 1, "Backup ",
         "missing, the file is gone (--force puts it back): MACHINE/drive_c/WINDOWS/WIN.INI", Case::Gone},
        {"--force", 2, "", "--force goes only with --restore"},
        {"--machine MACHINE", 1, "", "velmora: cannot open a window: there is no display"},
        {"--machine MACHINE --new-machine MACHINE", 2, "", "--machine and --new-machine do not go together"},
        {"--new-machine NOWHERE --list-backups", 2, "", "--new-machine goes only with opening the window"},
        // A mistyped path is refused before a display is needed; nothing is made without a window.
        {"--machine NOWHERE", 1, "", "velmora: The machine NOWHERE cannot be used:\nNOWHERE does not exist"},
        {"--new-machine NOWHERE", 1, "", "velmora: cannot open a window: there is no display"},
        {"--machine NOWHERE show", 1, "",
         "velmora: The machine NOWHERE cannot be used:\nNOWHERE does not exist"},
        {"--new-machine NOWHERE show", 2, "", "--new-machine goes only with opening the window"},
        {"--partition 1 show", 2, "", "--partition goes only with --machine IMAGE"},
        {"--machine MACHINE --partition 0 show", 2, "", "--partition 0: not a partition number"},
        {"--machine MACHINE --partition 1 show", 1, "", "MACHINE is not a disk image: a partition is chosen"},
        // A file manager opens a machine as the one argument (the desktop entry's %f).
        {"MACHINE --partition 1", 1, "", "MACHINE is not a disk image: a partition is chosen"},
        {"MACHINE NOWHERE", 2, "", "Unexpected argument"},
        {"set com1 9600,n,,1,x", 1, "",
         "com1 9600,n,,1,x (c:\\windows\\win.ini [Ports] COM1:): Must Select a Data Bit"},
        {"set aol-mtu 14k", 1, "", "aolsock\\mtu): Please enter a valid MTU packet size!"},
        {"set slownet yes", 1, "", "Net\\0000\\SLOWNET): takes on or off"},
        {"set modem-at-c0 on", 1, "", "Settings\\Init\\2 already holds \"ATZ\""},
        {"set com4-buffer 1024", 1, "", "system.ini [386Enh] Com4Buffer): You Must Enter an Irq #"},
        {"set fifo-tx 4MB fifo-rx 3k", 1, "", "Serial\\RxFIFO): \"3k\" is none of the sizes 16k"},
        {"set fifo-tx 4MB", 1, "",
         "TxFIFO): You Must Select a Buffer Size! (RxFIFO holds 14, none of the sizes: give fifo-rx too)"},
        // What the windows' write calls would refuse, or store otherwise, is refused before any write.
        {"set mtu 576 com1 96\n00,n,8,1,x", 1, "",
         "com1 96<0x0A>00,n,8,1,x (c:\\windows\\win.ini [Ports] COM1:): the value holds a line break"},
        {"set max-instances 8\r\n[HKEY_LOCAL_MACHINE\\x]", 1, "",
         "Ndi\\MaxInstance): the value holds a line break"},
        {"set max-instances 8\u00e9\u4e2d", 1, "",
         "MaxInstance): the value holds characters Windows stores only as \"?\""},
        // A file that cannot be read is not taken for one that holds nothing.
        {"show", 1, "", "c:\\windows\\win.ini cannot be read: the path leaves drive C", Case::LinkOut},
        {"report", 1, "", "the registry MACHINE/system.reg cannot be read: system.reg line 1", Case::Damaged},
        {"set mtu 576 --dry-run", 1, "", "refused, nothing was written:\nthe registry MACHINE/system.reg",
         Case::Damaged},
        {"set mtu 576 slownet yes", 1, "", "slownet yes"}, // mtu alone would pass
        {"set max-instances 12 --dry-run", 0,
         "Ndi\\MaxInstance\n  old: \"10\"\n  new: \"12\"\nNothing was written", ""},
        {"set speed 9", 2, "", "There is no setting 'speed' to set."},
        {"set aol-mtu-typed 9", 2, "", "There is no setting 'aol-mtu-typed'"},
        {"set mtu", 2, "", "set takes SETTING VALUE pairs."},
        {"set mtu 576 mtu 1000", 2, "", "mtu is given twice."},
        {"show", 0,
         "slownet                 \"00\"\n  ipx-header-compression  hex:02\n  point-to-point-ip       \"2\"",
         ""},
        {"show --xml", 2, "", "show does not take the option '--xml'."},
        {"report a b", 2, "", "report takes one FILE at most."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        QTemporaryDir home;
        const QString machine = home.path() + "/machine", winIni = machine + "/drive_c/WINDOWS/WIN.INI",
                      nowhere = home.path() + "/nowhere", backups = home.path() + "/data/velmora/backups";
        layOut(machine, Layout::FolderWithOwnInit);
        BackupSession session(backups, machine);
        ASSERT_TRUE(session.beforeChange(winIni) && session.afterChange(winIni, "new"));
        ASSERT_TRUE(c.since == Case::Gone ? QFile::remove(winIni)
                                          : t::writeBytes(winIni, "changed by Windows"));
        const QString outside = home.path() + "/WIN.INI";
        ASSERT_TRUE(c.since != Case::LinkOut ||
                    (QFile::rename(winIni, outside) && QFile::link(outside, winIni)));
        ASSERT_TRUE(c.since != Case::Damaged || t::writeBytes(machine + "/system.reg", "REGEDIT5\r\n"));
        const QMap<QString, QByteArray> before = filesUnder(home.path());
        const auto placed = [&](QString text) {
            return text.replace(QRegularExpression("\\bMACHINE"), machine).replace("NOWHERE", nowhere);
        };
        QString arguments = c.arguments; // a script runs on the machine
        if (QRegularExpression("^(set|show|report)\\b").match(arguments).hasMatch())
            arguments.prepend("--machine MACHINE ");
        const Outcome run = runVelmora(home.path() + "/data", placed(arguments).split(' '));
        EXPECT_TRUE(run.exitCode == c.exitCode && run.out.contains(placed(c.out).toUtf8()) &&
                    run.err.contains(placed(c.err).toUtf8()))
            << "exit code " << run.exitCode << ", out:\n"
            << run.out.constData() << "err:\n"
            << run.err.constData();
        EXPECT_EQ(filesUnder(home.path()), before);
    }
    // A full disk under standard output fails the command rather than passing for success.
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    EXPECT_FALSE(writeOut(full, "x"));
    std::fclose(full);
}

} // namespace
} // namespace velmora
