#include "app/cli/ConsoleTexts.h"

#include "app/core/Texts.h"

#include <iterator>

namespace
{

struct SCliTextRow
{
    const char* pszEnglish;
    const char* pszGerman;
};

// In the order of ECliText.
constexpr SCliTextRow CLI_TEXTS[] = {
    {"> [%s] Press Enter.", "> [%s] Eingabetaste drücken."},
    {"> [%s] / [%s] Answer y or n.", "> [%s] / [%s] Antworten Sie mit j oder n."},
    {"Please answer y (yes) or n (no).", "Bitte antworten Sie mit j (ja) oder n (nein)."},
    {"To press [%s], enter an empty line.", "Für [%s] drücken Sie nur die Eingabetaste."},
    {"> File name (%s; an empty line cancels)%s: ", "> Dateiname (%s; eine leere Zeile bricht ab)%s: "},
    {"(no file chosen)", "(keine Datei gewählt)"},
    {"Skipped because access was denied: %s.\n"
     "Your user may not use these ports. Make it a member of the group that owns the device (%s):\n"
     "    sudo usermod -aG %s $USER\n"
     "then log out and in again.",
     "Übersprungen, weil der Zugriff verweigert wurde: %s.\n"
     "Ihr Benutzer darf diese Schnittstellen nicht verwenden. Nehmen Sie ihn in die Gruppe auf, der das "
     "Gerät gehört (%s):\n"
     "    sudo usermod -aG %s $USER\n"
     "und melden Sie sich danach neu an."},
    {"Skipped because another program is using them: %s.\n"
     "Close that program (a terminal program, for example) and search again.",
     "Übersprungen, weil ein anderes Programm sie verwendet: %s.\n"
     "Beenden Sie dieses Programm (zum Beispiel ein Terminalprogramm) und suchen Sie erneut."},
    {"Note: ", "Hinweis: "},
    {"Usage: %s [-f:<firmware file>] [-a] [-r] [-p:<device>]... [-k:<folder>] [-g] [-v] [-l:<record file>]\n"
     "  -f:<file>    the firmware file (S-record: .mhx, .cnv, .ahx); quote a path with spaces\n"
     "  -a           automatic mode: no click to start, the transfer starts by itself\n"
     "  -r           after a successful update, offer to update further units\n"
     "  -p:<device>  search only this serial device (repeatable, tried in the order given)\n"
     "  -k:<folder>  take the flash kernels kernel-134.bin and kernel-148.bin from this folder\n"
     "  -g           update every unit found at once: all ports are searched together, and\n"
     "               each unit found is programmed on its own port\n"
     "  -v           verify: read every programmed block back and compare it with the firmware\n"
     "  -l:<file>    append a record of every update to this file (one JSON object per line)\n"
     "Options also take the prefix '/'. Enter presses the shown button; y/n answers questions.\n"
     "End of input or Ctrl-C closes the wizard at the first page where no transfer runs.\n"
     "Exit status: 0 after a successful update of the last unit (with -g: of every unit found),\n"
     "2 when the port could not be opened, 1 otherwise (also when a kernel file cannot be used).\n"
     "--version prints the version and which flash kernels are in use.",
     nullptr},
};

static_assert(std::size(CLI_TEXTS) == static_cast<std::size_t>(ECliText::Usage) + 1, "one row per ECliText");

} // namespace

std::string CliText(ECliText id)
{
    const SCliTextRow& row = CLI_TEXTS[static_cast<int>(id)];
    if (GetTextLanguage() == ETextLanguage::German && row.pszGerman != nullptr)
    {
        return row.pszGerman;
    }
    return row.pszEnglish;
}
