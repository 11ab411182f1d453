// The tool's own words about itself: see help_table.h.
#include "help_table.h"

namespace tavlo::cli::help {

namespace {

constexpr Option kShowOptions[] = {
    {"--json", "",
     R"(Print one JSON object instead of text, with every origin included. Its
"version" member names the shape it has, which the JSON Schema
show.schema.json installed with tavlo describes.)"},
    {"--show-origin", "",
     R"(After each answer, name the registry value it was read from, or the default
it fell back on and why; on Linux also the local path that a drive-letter
directory maps to and whether it exists. Errors the library would have
reported to its host are listed as "reported:".)"},
};

constexpr std::string_view kShowExamples[] = {
    "tavlo show",
    "tavlo --prefix ~/.wine show --show-origin",
    "tavlo show --json > settings.json",
};

constexpr Option kGetOptions[] = {
    {"--list", "", "Print every NAME, one per line."},
    {"--show-origin", "",
     R"(Add where the answer came from (indented, on stdout); on Linux also the local
path of a drive-letter directory. Reported errors go to stderr.)"},
    {"--watch", "",
     R"(Keep running: print the answer, then again each time it changes, until
interrupted (Ctrl+C; on Linux also SIGTERM; closing the console on Windows),
then exit with 0. An empty answer prints as (empty); --show-origin adds the
origin to each; an error the library raises goes to stderr. The app key stays
the one found first, as the library keeps it for a host.)"},
    {"--interval", "MS",
     "How often --watch reads the answer again, in milliseconds (default 500)."},
};

constexpr std::string_view kGetExamples[] = {
    "tavlo get plotters-directory",
    "tavlo get app-key --show-origin",
    "tavlo get raster-threshold --watch",
};

constexpr std::string_view kHelpFileExamples[] = {
    "tavlo help-file",
    "tavlo help-file plotting.chm",
};

constexpr std::string_view kNoticeExamples[] = {"tavlo notice MyHpgl-Driver.drv"};

constexpr Option kRegOptions[] = {
    {"/v", "NAME", "Print only the value NAME."},
    {"/ve", "", "Print only the key's default value."},
    {"/s", "", "Print every sub-key below KEY too."},
};

constexpr std::string_view kRegExamples[] = {
    R"(tavlo reg query "HKLM\Software\Veltrane\Outprint")",
    R"(tavlo reg query HKCR\.pc3 /ve)",
};

constexpr Command kCommands[] = {
    {"show", "tavlo show [--json] [--show-origin]",
     "Everything the library resolves for the host, and how it found the app key.",
     R"(Shows the host's app key and how it was found: the product hook (userdata.dll) beside the
library, the hook beside the host program that a ".pc3", ".stb" or ".ctb" file association
names, or the catalogue of registered applications with the candidates it weighed. Then
whether the host is Corvida, the current profile, and every setting: the product's identity,
the directories, the support file search path and the plot settings.)",
     kShowOptions,
     R"(0 when an app key was found, 1 when none can be found (the reason is printed),
3 when the library failed with an error (its kind, operation and message on stderr).)",
     kShowExamples},
    {"get", "tavlo get (NAME [--show-origin] [--watch [--interval MS]] | --list)",
     "One setting, for scripts, or followed as it changes.",
     R"(Prints one setting and nothing else, so that scripts can use it. NAME is app-key,
is-corvida (1 or 0), current-profile-key, or one of the settings that "tavlo show" lists:
  app-directory, language, product-name, program-name, company-name, product-base-name,
  driver-directory, plotters-directory, plot-styles-directory, pmp-directory,
  plot-spooler-directory, help-directory, log-file-directory, support-file-search-path,
  autospool-command-string, default-login-name, default-plot-to-file,
  default-plot-style-table, raster-threshold, raster-percent, current-plot-style-policy,
  hide-system-printers, r14-raster-plot.)",
     kGetOptions,
     R"(0 when the setting has a value, 1 when it is empty or missing, 2 for an unknown
NAME, 3 when the library failed with an error (its kind, operation and message on stderr);
with --watch, 0 once interrupted.)",
     kGetExamples},
    {"help-file",
     "tavlo help-file [NAME]",
     "The help file the library would open for a name.",
     R"(Prints the help file the library would open for NAME: a name with a drive or a folder in
it is taken as it is; a bare name is looked for in the host's help directory and then below
its application directory. Without NAME, the host's default help file (its KORAHELP or HELP
setting). On Linux a second line on stderr gives the local path and whether it exists.)",
     {},
     R"(0 when a path was resolved, 1 when there is no app key or no default help file,
3 when the library failed with an error (its kind, operation and message on stderr).)",
     kHelpFileExamples},
    {"notice",
     "tavlo notice DRIVER",
     "Whether a driver is a back-door driver, and its notice.",
     R"(Tells whether DRIVER (the name a driver is registered under) is registered as a back-door
driver of the host product, and if so prints its notice with the product's name filled in,
as the driver would show it.)",
     {},
     R"(0 for a back-door driver, 1 otherwise, 3 when the library failed with an error
(its kind, operation and message on stderr).)",
     kNoticeExamples},
    {"reg", "tavlo reg query KEY [/v NAME | /ve] [/s]",
     "A key's values and sub-keys, printed as Windows' reg query prints them.",
     R"(Prints a registry key as Windows' "reg query" does, from the same registry the library
reads. KEY starts with a root: HKLM, HKCU, HKCR or their long forms HKEY_LOCAL_MACHINE,
HKEY_CURRENT_USER, HKEY_CLASSES_ROOT (on Linux, HKEY_CLASSES_ROOT is the user's classes over
the machine's, as on Windows). Options may also start with '-' and ignore case.)",
     kRegOptions,
     R"(0 when the key (and value) exists, 1 when it doesn't, 3 when the library failed
with an error (what and why on stderr).)",
     kRegExamples},
    {"help",
     "tavlo help [COMMAND]",
     "This overview, or a command's own help.",
     R"(Without COMMAND prints the overview of every command; with it, that command's own help
(the same as "tavlo COMMAND --help").)",
     {},
     {},
     {}},
};

constexpr Option kToolOptions[] = {
    {"--registry", "FILE",
     R"(Read this registry file (a regedit export, REGEDIT4 or version 5, or Wine's
system.reg or user.reg); repeat to layer files, later ones
overriding earlier ones. Linux only.)"},
    {"--prefix", "DIR",
     R"(Read the Wine prefix DIR: its system.reg and user.reg; drive letters resolve
through DIR/dosdevices. Linux only.)"},
    {"-h, --help", "", R"(Show this help; "tavlo COMMAND --help" shows a command's own.)"},
    {"--version", "", "Show the version."},
};

constexpr Variable kEnvironment[] = {
    {"TAVLO_REGISTRY",
     R"(Linux: registry files to read, separated by ':'; --registry and --prefix win
over it.)"},
    {"WINEPREFIX", R"(Linux: the Wine prefix to read when TAVLO_REGISTRY is not set, and the one
whose dosdevices resolve drive letters; --prefix wins over it.)"},
    {"HOME", "Linux: without WINEPREFIX the prefix is HOME/.wine."},
    {"TAVLO_FOLLOW", R"(Linux: 0, off, no or false reads the registry files once; otherwise a file
replaced or changed is read again, as wineserver's saves replace them.)"},
    {"LC_ALL", R"(The language of the library's messages: German for any de locale, US English
otherwise. Under Wine, Wine derives the user's language from it.)"},
    {"LC_MESSAGES", "As LC_ALL, when LC_ALL is not set."},
    {"LANG", "As LC_ALL, when neither LC_ALL nor LC_MESSAGES is set."},
};

constexpr Tool kTool = {
    "show what the tavlo library resolves from the registry, and where from",
    "tavlo [OPTIONS] COMMAND [ARGS]",
    R"(Shows what the tavlo library resolves from the registry for the host product, and where each
answer came from.)",
    kCommands,
    kToolOptions,
    kEnvironment,
    "tavlo.exe reads the registry of the Windows machine (or Wine prefix) it runs on.",
    R"(Modules the library found and would not load (a file that is no module for this machine) are
listed on stderr after the command, each with the reason.)",
    R"(0 found, 1 not found, 2 usage error, 3 the library failed with an error: its kind,
the operation, the message and its argument are printed on stderr. No command ends otherwise.)",
};

} // namespace

const Tool& tool() {
    return kTool;
}

const Command* findCommand(std::string_view name) {
    for (const Command& command : kCommands)
        if (command.name == name)
            return &command;
    return nullptr;
}

} // namespace tavlo::cli::help
