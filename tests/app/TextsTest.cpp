// Every text of the wizard in both languages, written out here independently of the product's
// table, so that a changed or lost text fails a test.
#include "app/core/Texts.h"

#include <gtest/gtest.h>

namespace
{
// clang-format off
const struct { unsigned nId; const char *pszEnglish, *pszGerman; } EXPECTED[] = {
    {101, "&About Orlix...", "&Info zu Orlix..."},
    {102, "You tried to end the update prematurely.\nUnfortunately this is not possible at the moment.\nPlease be patient.", "Es wurde versucht das Update vorzeitig zu beenden.\nDies ist im Moment leider nicht möglich.\nBitte haben Sie noch etwas Geduld. "},
    {103, "Start", "Start"},
    {104, "Continue", "Weiter"},
    {105, "Yes", "Ja"},
    {106, "No", "Nein"},
    {107, "Close", "Beenden"},
    {108, "Welcome to the firmware update tool.\nThis program will guide you through the update process.", "Willkommen zum Firmware Update Tool.\nDieses Programm wird Sie durch das Update begleiten."},
    {109, "Click the button to start the update.", "Drücken Sie die Taste um mit dem Update zu beginnen."},
    {111, "File open", "Datei öffnen"},
    {112, "Click the button to select the firmware file.", "Drücken Sie die Taste um die Datei zu laden."},
    {113, "Name:\t %s\nVersion:\t %s", "Name:\t %s\nVersion:\t %s"},
    {117, "Firmware", "Firmware"},
    {118, "There is no firmware selected.", "Es ist keine Firmware ausgewählt."},
    {119, "This firmware is exclusively designed for '%s' compatible hardware!", "Diese Firmware ist auschließlich für '%s' kompatible Hardware bestimmt!"},
    {120, "The selected file does not contain any valid processor information.\nPlease select another file.", "Die ausgewählte Datei enthält keine gültigen Prozessorangaben.\nBitte wählen Sie eine andere Datei aus."},
    {121, "Would you like to update further units?", "Möchten Sie ein weiteres Gerät aktualisieren?"},
    {122, "For updating your unit you need the right firmware.\nUse only firmware which is designed for your unit.\nTransferring a wrong firmware can damage your unit.", "Für die Aktualisierung Ihres Gerätes benötigen Sie die richtige Firmware. Verwenden Sie ausschließlich die Firmware die für Ihr Gerät spezifiert ist.\nDas Übertragen falscher Firmware kann zu Beschädigungen an Ihrem Gerät führen."},
    {123, "Connect your unit with the program cable and afterwards press the RESET button on your unit.\nYou may NOT swtich off your device during programming.\nDo NOT truncate the update process prematurely.", "Stellen Sie mit dem Programmierkabel eine Verbindung zu Ihrem Gerät her, drücken Sie anschließend die RESET-Taste.\nSchalten Sie Ihr Gerät während der Programmierung NICHT aus.\nBeenden Sie den Vorgang NICHT vorzeitig."},
    {124, "Click the button to get a connection to your unit.", "Drücken Sie die Taste um eine Verbindung zu Ihrem Gerät herzustellen."},
    {125, "Searching for the device on the available COM ports.", "Suche das Gerät auf den verfügbaren Schnittstellen."},
    {126, "The unit was found.", "Das Gerät wurde gefunden."},
    {127, "Click the button to start the transfer.", "Drücken Sie die Taste um mit der Übertragung zu beginnen."},
    {128, "Please wait. The transfer starts automatically ...", "Bitte warten. Die Übertragung beginnt automatisch ..."},
    {129, "The unit was not found!\nPlease check the connection to your unit.\nDid you press the RESET button on your unit?", "Es wurde kein Gerät gefunden.\nÜberprüfen Sie die Verbindung zu Ihrem Gerät.\nHaben Sie die RESET-Taste an Ihrem Gerät gedrückt?"},
    {130, "Click the button to try it again.", "Drücken Sie die Taste um noch einmal nach dem Gerät zu suchen."},
    {131, "The unit is being programmed.\nPlease wait untill the process was completed.", "Das Gerät wird programmiert.\nBitte warten Sie bis der Vorgang abgeschlossen wurde."},
    {132, "Download the bool loader ...", "Der Bootloader wird zum Gerät übertragen ..."},
    {133, "The process was successful.", "Der Vorgang wurde erfolgreich ausgeführt."},
    {134, "An Error occurred during the download operation.\nThe firmware update couldn't be started.\nPlease try it again.", "Es ist ein Fehler bei der Übertragung des Bootloaders autgetreten.\nDas Firmware Update konnte nicht gestartet werden.\nBitte versuchen Sie es erneut."},
    {135, "Would you like to retry the update?", "Möchten Sie das Update wiederholen?"},
    {136, "The firmware update was successful.", "Der Programmiervorgang wurde erfolgreich ausgeführt."},
    {137, "Click the button to close the program.", "Klicken zum Beenden"},
    {138, "Erasing the flash memory ...", "Der Speicher wird gelöscht ..."},
    {139, "Checking the flash memory ...", "Der Speicher wird überprüft ..."},
    {140, "Programming the flash memory ...", "Der Speicher wird beschrieben ..."},
    {142, "Can not load the selected file. The file is corrupted.", "Die ausgewählte Datei ist beschädigt und konnte nicht geladen werden."},
    {143, "Can not access the selected file.", "Es ist kein Zugriff auf die ausgewählte Datei möglich."},
    {144, "Can not load the file.", "Die Datei konnte nicht geladen werden."},
    {145, "An Error occurred during the programming process.\nThe firmware update couldn't be completed.\nPlease try it again. ", "Es ist ein Fehler während des Programmiervorgangs aufgetreten.\nDas Update konnte nicht abgeschlossen werden.\nBitte führen Sie das Update erneut durch."},
};
// clang-format on
} // namespace

TEST(TextTable, EveryTextInBothLanguages)
{
    for (const auto& row : EXPECTED)
    {
        EXPECT_EQ(LoadText(row.nId, ETextLanguage::English), row.pszEnglish) << row.nId;
        EXPECT_EQ(LoadText(row.nId, ETextLanguage::German), row.pszGerman) << row.nId;
    }
    for (const unsigned nMissing : {0u, 100u, 110u, 114u, 115u, 116u, 141u, 156u})
        EXPECT_EQ(LoadText(nMissing, ETextLanguage::English) + LoadText(nMissing, ETextLanguage::German), "")
            << nMissing;
}
