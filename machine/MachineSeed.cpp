#include "machine/MachineSeed.h"

namespace velmora {
namespace {

// The texts below are written with LF for readability; the files hold CRLF.
QByteArray withCrLf(const char* text)
{
    QByteArray bytes(text);
    bytes.replace("\n", "\r\n");
    return bytes;
}

constexpr const char* kWinIni = R"([windows]
load=
run=
NullPort=None
device=
ScreenSaveActive=0
ScreenSaveTimeOut=600
DoubleClickSpeed=452
CursorBlinkRate=530
MouseThreshold1=6
MouseThreshold2=10
MouseSpeed=1
KeyboardDelay=1
KeyboardSpeed=31
SwapMouseButtons=0
BorderWidth=1
Beep=yes
programs=com exe bat pif
documents=
DeviceNotSelectedTimeout=15
TransmissionRetryTimeout=45
spooler=yes

[Desktop]
Wallpaper=(None)
TileWallpaper=0
WallpaperStyle=0
Pattern=(None)
IconSpacing=75
GridGranularity=0

[intl]
iCountry=1
ICurrDigits=2
iCurrency=0
iDate=0
iDigits=2
iLZero=1
iMeasure=1
iNegCurr=0
iTime=0
iTLZero=0
s1159=AM
s2359=PM
sCountry=United States
sCurrency=$
sDate=/
sDecimal=.
sLanguage=enu
sList=,
sLongDate=dddd, MMMM dd, yyyy
sShortDate=M/d/yy
sThousand=,
sTime=:

[Ports]
; A line with [filename].PRN followed by an equal sign causes
; [filename] to appear in the Control Panel's Printer Configuration dialog
; box. A printer connected to [filename] directs its output into this file.
LPT1:=
LPT2:=
LPT3:=
COM1:=9600,n,8,1,x
COM2:=9600,n,8,1,x
COM3:=9600,n,8,1,x
COM4:=9600,n,8,1,x
EPT:=
FILE:=
LPT1.DOS=
LPT2.DOS=
PRN=

[devices]

[PrinterPorts]

[fonts]

[FontSubstitutes]
MS Shell Dlg=Microsoft Sans Serif
Helv=MS Sans Serif
Tms Rmn=MS Serif
Times=Times New Roman
Helvetica=Arial

[TrueType]

[mci extensions]
mid=sequencer
rmi=sequencer
wav=waveaudio
avi=avivideo
cda=cdaudio

[Mail]
MAPI=1
CMCDLLNAME32=mapi32.dll
CMC=1

[MCI Extensions.BAK]
aif=MPEGVideo
aifc=MPEGVideo
aiff=MPEGVideo
asf=MPEGVideo2
au=MPEGVideo
m1v=MPEGVideo
mp2=MPEGVideo
mp3=MPEGVideo2
mpa=MPEGVideo
mpe=MPEGVideo
mpeg=MPEGVideo
mpg=MPEGVideo
snd=MPEGVideo

[MSUCE]
Advanced=0
CodePage=Windows
Font=Arial
)";

constexpr const char* kSystemIni = R"([boot]
oemfonts.fon=vgaoem.fon
shell=Explorer.exe
system.drv=system.drv
drivers=mmsystem.dll power.drv
user.exe=user.exe
gdi.exe=gdi.exe
sound.drv=mmsound.drv
dibeng.drv=dibeng.dll
comm.drv=comm.drv
mouse.drv=mouse.drv
keyboard.drv=keyboard.drv
*DisplayFallback=0
fixedfon.fon=vgafix.fon
fonts.fon=vgasys.fon
display.drv=pnpdrvr.drv
386grabber=vgafull.3gr
SCRNSAVE.EXE=
network.drv=
secondnet.drv=

[keyboard]
keyboard.dll=
oemansi.bin=
subtype=
type=4

[boot.description]
system.drv=Advanced Power Management support
codepage=1252
woafont.dll=English (437)
aspect=100,96,96
display.drv=Standard PCI Graphics Adapter (VGA)
keyboard.typ=Standard 101/102-Key or Microsoft Natural Keyboard
mouse.drv=Standard mouse

[386Enh]
ebios=*ebios
woafont=dosapp.fon
mouse=*vmouse, msmouse.vxd
device=*dynapage
device=*vcd
device=*vpd
device=*int13
keyboard=*vkd
display=*vdd,*vflatd
MinSPs=4
PagingDrive=C:

[NonWindowsApp]
TTInitialSizes=4 5 6 7 8 9 10 11 12 14 15 16 18 20 22 36 72

[power.drv]

[drivers]
wavemapper=*.drv
MSACM.imaadpcm=*.acm
MSACM.msadpcm=*.acm
MSACM.msgsm610=*.acm
MSACM.msg711=*.acm
MSACM.trspch=tssoft32.acm
midimapper=*.drv
VIDC.MSVC=msvidc.drv
VIDC.CVID=iccvid.drv
VIDC.IV31=ir32_32.dll
VIDC.IV32=ir32_32.dll

[mci]
cdaudio=mcicda.drv
sequencer=mciseq.drv
waveaudio=mciwave.drv
avivideo=mciavi.drv
videodisc=mcipionr.drv
vcr=mcivisca.drv
MPEGVideo=mciqtz.drv
MPEGVideo2=mciqtz.drv

[vcache]
MinFileCache=2048
MaxFileCache=32768
ChunkSize=512
)";

} // namespace

QByteArray seedWinIni()
{
    return withCrLf(kWinIni);
}

QByteArray seedSystemIni()
{
    return withCrLf(kSystemIni);
}

} // namespace velmora
