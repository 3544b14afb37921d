// The text table in English and German, UTF-8. The texts are the product's own wording,
// including its spelling slips, because users and manuals refer to them as shown.
#include "app/core/Texts.h"

#include <array>
#include <atomic>
#include <cstdlib>

namespace
{

struct STextRow
{
    unsigned nId;
    const char* pszEnglish;
    const char* pszGerman;
};

// clang-format off
constexpr std::array<STextRow, 59> TEXT_TABLE = {{
    {101, "&About Orlix...",
          "&Info zu Orlix..."},
    {102, "You tried to end the update prematurely.\nUnfortunately this is not possible at the moment.\nPlease be patient.",
          "Es wurde versucht das Update vorzeitig zu beenden.\nDies ist im Moment leider nicht möglich.\nBitte haben Sie noch etwas Geduld. "},
    {103, "Start",
          "Start"},
    {104, "Continue",
          "Weiter"},
    {105, "Yes",
          "Ja"},
    {106, "No",
          "Nein"},
    {107, "Close",
          "Beenden"},
    {108, "Welcome to the firmware update tool.\nThis program will guide you through the update process.",
          "Willkommen zum Firmware Update Tool.\nDieses Programm wird Sie durch das Update begleiten."},
    {109, "Click the button to start the update.",
          "Drücken Sie die Taste um mit dem Update zu beginnen."},
    {111, "File open",
          "Datei öffnen"},
    {112, "Click the button to select the firmware file.",
          "Drücken Sie die Taste um die Datei zu laden."},
    {113, "Name:\t %s\nVersion:\t %s",
          "Name:\t %s\nVersion:\t %s"},
    {117, "Firmware",
          "Firmware"},
    {118, "There is no firmware selected.",
          "Es ist keine Firmware ausgewählt."},
    {119, "This firmware is exclusively designed for '%s' compatible hardware!",
          "Diese Firmware ist auschließlich für '%s' kompatible Hardware bestimmt!"},
    {120, "The selected file does not contain any valid processor information.\nPlease select another file.",
          "Die ausgewählte Datei enthält keine gültigen Prozessorangaben.\nBitte wählen Sie eine andere Datei aus."},
    {121, "Would you like to update further units?",
          "Möchten Sie ein weiteres Gerät aktualisieren?"},
    {122, "For updating your unit you need the right firmware.\nUse only firmware which is designed for your unit.\nTransferring a wrong firmware can damage your unit.",
          "Für die Aktualisierung Ihres Gerätes benötigen Sie die richtige Firmware. Verwenden Sie ausschließlich die Firmware die für Ihr Gerät spezifiert ist.\nDas Übertragen falscher Firmware kann zu Beschädigungen an Ihrem Gerät führen."},
    {123, "Connect your unit with the program cable and afterwards press the RESET button on your unit.\nYou may NOT swtich off your device during programming.\nDo NOT truncate the update process prematurely.",
          "Stellen Sie mit dem Programmierkabel eine Verbindung zu Ihrem Gerät her, drücken Sie anschließend die RESET-Taste.\nSchalten Sie Ihr Gerät während der Programmierung NICHT aus.\nBeenden Sie den Vorgang NICHT vorzeitig."},
    {124, "Click the button to get a connection to your unit.",
          "Drücken Sie die Taste um eine Verbindung zu Ihrem Gerät herzustellen."},
    {125, "Searching for the device on the available COM ports.",
          "Suche das Gerät auf den verfügbaren Schnittstellen."},
    {126, "The unit was found.",
          "Das Gerät wurde gefunden."},
    {127, "Click the button to start the transfer.",
          "Drücken Sie die Taste um mit der Übertragung zu beginnen."},
    {128, "Please wait. The transfer starts automatically ...",
          "Bitte warten. Die Übertragung beginnt automatisch ..."},
    {129, "The unit was not found!\nPlease check the connection to your unit.\nDid you press the RESET button on your unit?",
          "Es wurde kein Gerät gefunden.\nÜberprüfen Sie die Verbindung zu Ihrem Gerät.\nHaben Sie die RESET-Taste an Ihrem Gerät gedrückt?"},
    {130, "Click the button to try it again.",
          "Drücken Sie die Taste um noch einmal nach dem Gerät zu suchen."},
    {131, "The unit is being programmed.\nPlease wait untill the process was completed.",
          "Das Gerät wird programmiert.\nBitte warten Sie bis der Vorgang abgeschlossen wurde."},
    {132, "Download the bool loader ...",
          "Der Bootloader wird zum Gerät übertragen ..."},
    {133, "The process was successful.",
          "Der Vorgang wurde erfolgreich ausgeführt."},
    {134, "An Error occurred during the download operation.\nThe firmware update couldn't be started.\nPlease try it again.",
          "Es ist ein Fehler bei der Übertragung des Bootloaders autgetreten.\nDas Firmware Update konnte nicht gestartet werden.\nBitte versuchen Sie es erneut."},
    {135, "Would you like to retry the update?",
          "Möchten Sie das Update wiederholen?"},
    {136, "The firmware update was successful.",
          "Der Programmiervorgang wurde erfolgreich ausgeführt."},
    {137, "Click the button to close the program.",
          "Klicken zum Beenden"},
    {138, "Erasing the flash memory ...",
          "Der Speicher wird gelöscht ..."},
    {139, "Checking the flash memory ...",
          "Der Speicher wird überprüft ..."},
    {140, "Programming the flash memory ...",
          "Der Speicher wird beschrieben ..."},
    {142, "Can not load the selected file. The file is corrupted.",
          "Die ausgewählte Datei ist beschädigt und konnte nicht geladen werden."},
    {143, "Can not access the selected file.",
          "Es ist kein Zugriff auf die ausgewählte Datei möglich."},
    {144, "Can not load the file.",
          "Die Datei konnte nicht geladen werden."},
    {145, "An Error occurred during the programming process.\nThe firmware update couldn't be completed.\nPlease try it again. ",
          "Es ist ein Fehler während des Programmiervorgangs aufgetreten.\nDas Update konnte nicht abgeschlossen werden.\nBitte führen Sie das Update erneut durch."},
    // The flash kernels in use, and why kernel files could not be taken.
    {146, "This build carries stand-in flash kernels and can update only the simulated unit.",
          "Dieses Programm enthält Platzhalter-Flash-Kernel und kann nur das simulierte Gerät aktualisieren."},
    {147, "Flash kernel %s: %s, SHA-256 %s",
          "Flash-Kernel %s: %s, SHA-256 %s"},
    {148, "Flash kernel %s: built-in stand-in, for the simulated unit only",
          "Flash-Kernel %s: eingebauter Platzhalter, nur für das simulierte Gerät"},
    {149, "Flash kernel %s: built in, SHA-256 %s",
          "Flash-Kernel %s: eingebaut, SHA-256 %s"},
    {150, "The kernel folder '%s' does not exist or is not a folder.",
          "Der Kernel-Ordner '%s' existiert nicht oder ist kein Ordner."},
    {151, "The kernel folder '%s' holds neither kernel-134.bin nor kernel-148.bin.",
          "Der Kernel-Ordner '%s' enthält weder kernel-134.bin noch kernel-148.bin."},
    {152, "The kernel file '%s' has %s bytes; it must have %s bytes.",
          "Die Kernel-Datei '%s' hat %s Bytes; sie muss %s Bytes haben."},
    {153, "The kernel file '%s' is not a regular file.",
          "Die Kernel-Datei '%s' ist keine gewöhnliche Datei."},
    {154, "The kernel file '%s' cannot be read: %s",
          "Die Kernel-Datei '%s' kann nicht gelesen werden: %s"},
    {155, "The option -k needs a folder: -k:FOLDER",
          "Die Option -k braucht einen Ordner: -k:ORDNER"},
    // Several units at once (-g), the read-back (-v) and the update record (-l).
    {160, "%s units found: %s",
          "%s Geräte gefunden: %s"},
    {161, "%s of %s units updated",
          "%s von %s Geräten aktualisiert"},
    {162, "Verifying the flash memory ...",
          "Der Speicher wird verglichen ..."},
    {163, "The flash memory differs from the firmware at address %s.",
          "Der Speicher weicht ab Adresse %s von der Firmware ab."},
    {164, "%s: updated",
          "%s: aktualisiert"},
    {165, "%s: the download failed",
          "%s: der Download ist fehlgeschlagen"},
    {166, "%s: the programming failed",
          "%s: die Programmierung ist fehlgeschlagen"},
    {167, "%s: the port could not be opened",
          "%s: der Anschluss konnte nicht geöffnet werden"},
    {168, "The update record could not be written:\n%s",
          "Das Update-Protokoll konnte nicht geschrieben werden:\n%s"},
}};
// clang-format on

// 0: not chosen yet, else 1 + ETextLanguage.
std::atomic<int> g_nLanguage{0};

const STextRow* FindRow(unsigned nId)
{
    for (const STextRow& row : TEXT_TABLE)
    {
        if (row.nId == nId)
        {
            return &row;
        }
    }
    return nullptr;
}

} // namespace

ETextLanguage TextLanguageFromLocale(const char* pszLcAll, const char* pszLcMessages, const char* pszLang)
{
    // The first non-empty variable decides, as for POSIX message catalogues.
    for (const char* psz : {pszLcAll, pszLcMessages, pszLang})
    {
        if (psz != nullptr && psz[0] != '\0')
        {
            return (psz[0] == 'd' && psz[1] == 'e') ? ETextLanguage::German : ETextLanguage::English;
        }
    }
    return ETextLanguage::English;
}

ETextLanguage GetTextLanguage()
{
    int nLanguage = g_nLanguage.load();
    if (nLanguage == 0)
    {
        const ETextLanguage language =
            TextLanguageFromLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
        int nExpected = 0;
        g_nLanguage.compare_exchange_strong(nExpected, 1 + static_cast<int>(language));
        nLanguage = g_nLanguage.load();
    }
    return static_cast<ETextLanguage>(nLanguage - 1);
}

void SelectTextLanguage(ETextLanguage language)
{
    g_nLanguage.store(1 + static_cast<int>(language));
}

std::string LoadText(unsigned nId, ETextLanguage language)
{
    const STextRow* pRow = FindRow(nId);
    if (pRow == nullptr)
    {
        return {};
    }
    return language == ETextLanguage::German ? pRow->pszGerman : pRow->pszEnglish;
}

std::string LoadText(unsigned nId)
{
    return LoadText(nId, GetTextLanguage());
}

std::string FormatText(const std::string& strFormat, std::initializer_list<std::string> args)
{
    std::string strOut;
    strOut.reserve(strFormat.size() + 64);
    auto itArg = args.begin();
    for (std::size_t i = 0; i < strFormat.size(); ++i)
    {
        if (strFormat[i] == '%' && i + 1 < strFormat.size())
        {
            if (strFormat[i + 1] == 's')
            {
                if (itArg != args.end())
                {
                    strOut += *itArg++;
                }
                ++i;
                continue;
            }
            if (strFormat[i + 1] == '%')
            {
                strOut += '%';
                ++i;
                continue;
            }
        }
        strOut += strFormat[i];
    }
    return strOut;
}
