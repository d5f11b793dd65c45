#include "machine/RegistrySeed.h"

namespace velmora {
namespace {

// Written with "\n" here; the file gets CRLF.
constexpr char kSeed[] = R"reg(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSINFO]
"PATH"="C:\\Program Files\\Common Files\\Microsoft Shared\\MSINFO\\MSINFO32.EXE"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools Location]
"MSINFO"="C:\\Program Files\\Common Files\\Microsoft Shared\\MSINFO"
"SharedFilesDir"="C:\\Program Files\\Common Files\\Microsoft Shared"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class\Modem]
@="Modem"
"Installer"="modemui.dll,ClassInstall"
"Icon"="-1000"
"EnumPropPages"="modemui.dll,ModemPropPagesProvider"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class\Modem\0000]
"Manufacturer"="U.S. Robotics, Inc."
"Model"="U.S. Robotics 56K Voice EXT PnP"
"DriverDesc"="U.S. Robotics 56K Voice EXT PnP"
"ProviderName"="3Com"
"DriverDate"=" 6-15-1999"
"InfPath"="OEM1.INF"
"InfSection"="Modem12"
"MatchingDeviceId"="SERENUM\\USR3070"
"DevLoader"="*vcomm"
"Enumerator"="serenum.vxd"
"PortDriver"="serial.vxd"
"Contention"="*vcd"
"ConfigDialog"="modemui.dll"
"EnumPropPages"="modemui.dll,EnumPropPages"
"PortConfigDialog"="serialui.dll"
"FriendlyDriver"="Unimodem.vxd"
"AttachedTo"="COM2"
"DeviceType"=hex:01
"PortSubClass"=hex:02
"Reset"="ATZ<cr>"
"UserInit"=""
"LoggingPath"="C:\\WINDOWS\\ModemLog_U.S. Robotics 56K Voice EXT PnP.txt"
"ResponsesKeyName"="U.S. Robotics 56K Voice EXT PnP::3Com::Modem12"
"AbortPlay"="<h10><h18>"
"TerminatePlay"="<h10><h03>"
"TerminateRecord"="<h10><h21>"
"VariableTerminator"="<cr><lf>"
"CallerIDOutSide"="O"
"Caller ID Private"="P"
"InactivityScale"=hex:3c,00,00,00
"Properties"=hex:80,01,00,00,ff,00,00,00,ff,00,00,00,07,00,00,00,0f,00,00,00,\
  f7,03,00,00,00,c2,01,00,c0,da,00,00
"DCB"=hex:1c,00,00,00,00,c2,01,00,15,20,00,00,00,00,0a,00,0a,00,08,00,00,11,13,\
  00,00,00
"Default"=hex:3c,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,\
  00,00,00,00,00,00,00,00,00,00,00

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class\Modem\0000\Hangup]
"1"="ATH<cr>"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class\Modem\0000\Init]
"1"="AT<cr>"
"2"="AT&F1E0V1&C1&D2S0=0<cr>"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class\Modem\0000\Settings]
"Prefix"="AT"
"Terminator"="<cr>"
"DialPrefix"="D"
"DialSuffix"=";"
"Pulse"="P"
"Tone"="T"
"Blind_Off"="X4"
"Blind_On"="X3"
"CallSetupFailTimer"="S7=<#>"
"InactivityTimeout"="S19=<#>"
"SpeakerVolume_Low"="L1"
"SpeakerVolume_Med"="L2"
"SpeakerVolume_High"="L3"
"SpeakerMode_Off"="M0"
"SpeakerMode_Dial"="M1"
"SpeakerMode_On"="M2"
"SpeakerMode_Setup"="M3"
"FlowControl_Off"="&H0&R1&I0"
"FlowControl_Hard"="&H1&R2&I0"
"FlowControl_Soft"="&H2&R1&I2"
"ErrorControl_Off"="&M0"
"ErrorControl_On"="&M4"
"ErrorControl_Forced"="&M5"
"Compression_Off"="&K0"
"Compression_On"="&K1"
"Modulation_CCITT"="B0"
"Modulation_Bell"="B1"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class\Modem\0000\Settings\Init]
"1"="AT&F<cr>"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class\Net]
@="Network adapters"
"Installer"="netdi.dll,NetClassInstaller"
"Icon"="-5"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class\Net\0000]
"DriverDesc"="Dial-Up Adapter"
"DeviceVxDs"="pppmac.vxd"
"DevLoader"="*ndis"
"InfPath"="NETPPP.INF"
"InfSection"="PPPMAC.ndi"
"ProviderName"="Microsoft"
"DriverDate"=" 4-23-1999"
"MatchingDeviceId"="*pppmac"
"DriverVersion"="4.10.2222"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class\Net\0000\Ndi]
"DeviceID"="*PPPMAC"
"InfSection"="PPPMAC.ndi"
"InstallInf"=""
"HelpText"="Dial-Up Adapter enables your computer to connect to dial-up networks such as the Internet."
"NdiInstaller"="ndi.dll,NdiInstaller"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class\NetTrans]
@="Network Protocol"
"Installer"="netdi.dll,NetClassInstaller"
"Icon"="-6"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class\NetTrans\0000]
"DriverDesc"="TCP/IP"
"IPAddress"="0.0.0.0"
"IPMask"="0.0.0.0"
"DeviceVxDs"="vtcp.386,vip.386,vdhcp.386,vnbt.386"
"DevLoader"="*ndis"
"InfPath"="NETTRANS.INF"
"InfSection"="MSTCP.ndi"
"ProviderName"="Microsoft"
"DriverDate"=" 4-23-1999"
"MatchingDeviceId"="MSTCP"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class\NetTrans\0000\Ndi]
"DeviceID"="MSTCP"
"MaxInstance"="8"
"InfSection"="MSTCP.ndi"
"InstallInf"=""
"HelpText"="TCP/IP is the protocol you use to connect to the Internet and wide-area networks."
"NdiInstaller"="ndi.dll,NdiInstaller"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Serial]
"ForceFifoEnable"=dword:00000001
"RxFIFO"=dword:0000000e
"TxFIFO"=dword:00000010

)reg";

} // namespace

QByteArray seedSystemReg()
{
    QByteArray text(kSeed);
    text.replace("\n", "\r\n");
    return text;
}

} // namespace velmora
