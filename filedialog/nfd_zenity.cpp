// nfd_zenity: the fallback choosers, zenity and then kdialog, found on PATH. They are started
// with posix_spawnp and an argument array: no shell ever sees a name, a path or a filter.
#include <errno.h>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "filedialog/nfd_common.h"
#include "filedialog/nfd_linux.h"

extern char** environ;

static bool HasDisplay() {
    const char* x11 = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    return (x11 && x11[0] != '\0') || (wayland && wayland[0] != '\0');
}

static void ReplaceAll(std::string& text, char from, char to) {
    for (char& ch : text) {
        if (ch == from) ch = to;
    }
}

// Where a chooser given a suggested name starts: the default folder, else the working folder
// (where these helpers start without one), since the name alone would not be placed.
static std::string StartingFolder(const NFDi_Request& request) {
    if (!request.folder.empty()) return request.folder;
    char* cwd = getcwd(NULL, 0);
    std::string folder = cwd ? cwd : "";
    free(cwd);
    return folder == "/" ? std::string() : folder;
}

static std::vector<std::string> ZenityArguments(const NFDi_Request& request) {
    std::vector<std::string> args = {"zenity", "--file-selection", "--title", NFDi_DialogTitle(request.mode)};
    if (request.mode == NFDi_OPEN_FILES) {
        args.push_back("--multiple");
        args.push_back("--separator=\n");  // '|' may be part of a name; a newline rarely is
    }
    if (request.mode == NFDi_SAVE_FILE) {
        args.push_back("--save");
        args.push_back("--confirm-overwrite");
    }
    if (request.mode == NFDi_CHOOSE_FOLDER) args.push_back("--directory");
    if (!request.name.empty()) args.push_back("--filename=" + StartingFolder(request) + "/" + request.name);
    else if (!request.folder.empty()) args.push_back("--filename=" + request.folder + "/");
    for (const NFDi_FileType& type : request.fileTypes) {
        // zenity reads "NAME | PATTERN PATTERN": the name must not hold '|', and a pattern
        // must not hold a space ('?' still matches one).
        std::string filter = type.name;
        ReplaceAll(filter, '|', '/');
        filter += " |";
        for (std::string glob : type.globs) {
            ReplaceAll(glob, ' ', '?');
            filter += " " + glob;
        }
        args.push_back("--file-filter=" + filter);
    }
    return args;
}

static std::vector<std::string> KdialogArguments(const NFDi_Request& request) {
    std::vector<std::string> args = {"kdialog", "--title", NFDi_DialogTitle(request.mode)};
    switch (request.mode) {
    case NFDi_OPEN_FILE: args.push_back("--getopenfilename"); break;
    case NFDi_OPEN_FILES:
        args.push_back("--getopenfilename");
        args.push_back("--multiple");
        args.push_back("--separate-output");
        break;
    case NFDi_SAVE_FILE: args.push_back("--getsavefilename"); break;
    case NFDi_CHOOSE_FOLDER: args.push_back("--getexistingdirectory"); break;
    }
    // The starting folder (with the suggested name) comes first and must be present when a
    // filter follows.
    if (!request.name.empty()) args.push_back(StartingFolder(request) + "/" + request.name);
    else args.push_back(request.folder.empty() ? std::string() : request.folder + "/");
    if (request.mode != NFDi_CHOOSE_FOLDER && !request.fileTypes.empty()) {
        std::string filters;
        for (const NFDi_FileType& type : request.fileTypes) {
            if (!filters.empty()) filters += "\n";
            filters += type.name + " (";
            for (size_t i = 0; i < type.globs.size(); ++i) filters += (i ? " " : "") + type.globs[i];
            filters += ")";
        }
        args.push_back(filters);
    }
    return args;
}

// A locale variable's value, or null where it is unset or empty (which counts as unset).
static const char* LocaleSetting(const char* name) {
    const char* value = getenv(name);
    return value && value[0] != '\0' ? value : NULL;
}

// Whether the C library takes `name` as a locale with the UTF-8 character set. A locale that is
// not installed is not: the helper would fall back to "C" with it.
static bool IsUtf8Locale(const char* name) {
    locale_t locale = newlocale(LC_CTYPE_MASK, name, (locale_t)0);
    if (locale == (locale_t)0) return false;
    bool utf8 = strcmp(nl_langinfo_l(CODESET, locale), "UTF-8") == 0;
    freelocale(locale);
    return utf8;
}

// The same language with UTF-8 ("de_DE.ISO-8859-1" -> "de_DE.UTF-8") where that is installed,
// else C.UTF-8.
static std::string Utf8LocaleLike(const std::string& name) {
    std::string language = name.substr(0, name.find_first_of(".@"));
    if (language != "C" && language != "POSIX" && !language.empty()) {
        std::string same = language + ".UTF-8";
        if (IsUtf8Locale(same.c_str())) return same;
    }
    return "C.UTF-8";
}

// The environment the helpers start with: the person's own, language included, with a UTF-8
// character set, since under a locale like "C" they print '?' for every non-ASCII character of
// a path. Only the character set changes: LC_CTYPE, and LC_ALL (which would override it)
// spread over LANG so that every other category stays as it was.
static std::vector<std::string> HelperEnvironment() {
    const char* all = LocaleSetting("LC_ALL");
    const char* ctype = all ? all : LocaleSetting("LC_CTYPE");
    if (!ctype) ctype = LocaleSetting("LANG");
    std::string current = ctype ? ctype : "C";
    bool keep = IsUtf8Locale(current.c_str());
    std::vector<std::string> env;
    for (char** entry = environ; entry && *entry; ++entry) {
        const char* text = *entry;
        if (!keep && all && (strncmp(text, "LC_", 3) == 0 || strncmp(text, "LANG=", 5) == 0)) continue;
        if (!keep && strncmp(text, "LC_CTYPE=", 9) == 0) continue;
        env.push_back(text);
    }
    if (!keep) {
        if (all) env.push_back(std::string("LANG=") + all);
        env.push_back("LC_CTYPE=" + Utf8LocaleLike(current));
    }
    return env;
}

static std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(&text[0]);
    pointers.push_back(NULL);
    return pointers;
}

// Runs one helper program. NFDi_UNAVAILABLE when it is not installed.
static NFDi_Outcome RunHelper(std::vector<std::string> args, bool multiple, std::vector<std::string>& paths) {
    const std::string program = args[0];
    std::vector<std::string> env = HelperEnvironment();
    std::vector<char*> argv = Pointers(args);
    std::vector<char*> envp = Pointers(env);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        NFDi_RecordErrorf("Could not start %s: %s", program.c_str(), strerror(errno));
        return NFDi_FAILED;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    // GTK and Qt chatter would land among the program's own console lines.
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, program.c_str(), &actions, NULL, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        if (spawned == ENOENT || spawned == EACCES || spawned == ENOTDIR) return NFDi_UNAVAILABLE;
        NFDi_RecordErrorf("Could not start %s: %s", program.c_str(), strerror(spawned));
        return NFDi_FAILED;
    }

    std::string output;
    char chunk[4096];
    for (;;) {
        ssize_t got = read(out[0], chunk, sizeof chunk);
        if (got > 0) {
            output.append(chunk, (size_t)got);
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    close(out[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            NFDi_RecordErrorf("Lost track of %s: %s", program.c_str(), strerror(errno));
            return NFDi_FAILED;
        }
    }

    if (WIFSIGNALED(status)) {
        NFDi_RecordErrorf("%s was ended by signal %d.", program.c_str(), WTERMSIG(status));
        return NFDi_FAILED;
    }
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code == 1) return NFDi_CANCELLED;
    if (code != 0) {
        NFDi_RecordErrorf("%s ended with exit status %d.", program.c_str(), code);
        return NFDi_FAILED;
    }

    // Each path ends in a newline. A single path keeps any newline inside its name; several
    // paths are one per line.
    if (!output.empty() && output.back() == '\n') output.pop_back();
    if (!multiple) {
        if (!output.empty()) paths.push_back(output);
        return NFDi_CHOSEN;
    }
    size_t start = 0;
    for (;;) {
        size_t end = output.find('\n', start);
        std::string path = output.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!path.empty()) paths.push_back(path);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return NFDi_CHOSEN;
}

NFDi_Outcome NFDi_HelperChoose(const NFDi_Request& request, std::vector<std::string>& paths) {
    // zenity exits 1, the cancel status, when it cannot open a display: never start it blind.
    if (!HasDisplay()) return NFDi_UNAVAILABLE;
    bool multiple = request.mode == NFDi_OPEN_FILES;
    NFDi_Outcome outcome = RunHelper(ZenityArguments(request), multiple, paths);
    if (outcome != NFDi_UNAVAILABLE) return outcome;
    return RunHelper(KdialogArguments(request), multiple, paths);
}
