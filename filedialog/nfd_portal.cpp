// nfd_portal: the desktop's file chooser through the xdg-desktop-portal FileChooser interface.
// One private session-bus connection per call, closed before returning, so nothing outlives
// the call and a lost bus cannot end the program.
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include <dbus/dbus.h>

#include "filedialog/nfd_common.h"
#include "filedialog/nfd_linux.h"

static const char kPortalName[] = "org.freedesktop.portal.Desktop";
static const char kPortalPath[] = "/org/freedesktop/portal/desktop";
static const char kChooserInterface[] = "org.freedesktop.portal.FileChooser";
static const char kRequestInterface[] = "org.freedesktop.portal.Request";
// The request path is unique through the connection's own unique name, so one fixed token
// serves every call.
static const char kHandleToken[] = "vellumry";
// Starting the portal on demand can take a few seconds; past this, it counts as absent.
static const int kCallTimeoutMs = 25000;

// The session bus's address, without letting libdbus autolaunch a bus of its own.
static bool SessionBusAddress(std::string& address) {
    const char* env = getenv("DBUS_SESSION_BUS_ADDRESS");
    if (env && env[0] != '\0') {
        address = env;
        return true;
    }
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    if (!runtime || runtime[0] == '\0') return false;
    std::string socketPath = std::string(runtime) + "/bus";
    struct stat info;
    if (stat(socketPath.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode)) return false;
    char* escaped = dbus_address_escape_value(socketPath.c_str());
    if (!escaped) return false;
    address = std::string("unix:path=") + escaped;
    dbus_free(escaped);
    return true;
}

static DBusConnection* OpenSessionBus() {
    std::string address;
    if (!SessionBusAddress(address)) return NULL;
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* conn = dbus_connection_open_private(address.c_str(), &error);
    if (!conn) {
        dbus_error_free(&error);
        return NULL;
    }
    dbus_connection_set_exit_on_disconnect(conn, FALSE);
    if (!dbus_bus_register(conn, &error)) {
        dbus_error_free(&error);
        dbus_connection_close(conn);
        dbus_connection_unref(conn);
        return NULL;
    }
    return conn;
}

static void CloseSessionBus(DBusConnection* conn) {
    dbus_connection_close(conn);
    dbus_connection_unref(conn);
}

// Errors that mean "no portal chooser here": the fallback takes over.
static bool MeansNoPortal(const char* name) {
    static const char* const kNames[] = {
        DBUS_ERROR_SERVICE_UNKNOWN,   DBUS_ERROR_NAME_HAS_NO_OWNER, DBUS_ERROR_NO_REPLY,
        DBUS_ERROR_TIMEOUT,           DBUS_ERROR_TIMED_OUT,         DBUS_ERROR_UNKNOWN_METHOD,
        DBUS_ERROR_UNKNOWN_INTERFACE, DBUS_ERROR_UNKNOWN_OBJECT,    DBUS_ERROR_DISCONNECTED,
    };
    for (const char* known : kNames) {
        if (strcmp(name, known) == 0) return true;
    }
    // Activation failures: org.freedesktop.DBus.Error.Spawn.*
    return strncmp(name, "org.freedesktop.DBus.Error.Spawn.", 33) == 0;
}

static NFDi_Outcome CallFailed(DBusError* error, const char* what) {
    NFDi_Outcome outcome = NFDi_FAILED;
    if (MeansNoPortal(error->name)) {
        outcome = NFDi_UNAVAILABLE;
    } else {
        NFDi_RecordErrorf("The file chooser portal failed (%s): %s: %s", what, error->name,
                          error->message ? error->message : "");
    }
    dbus_error_free(error);
    return outcome;
}

// Asks the bus who owns the portal's name. NULL with `error` set when nobody does.
static DBusMessage* AskNameOwner(DBusConnection* conn, DBusError* error) {
    DBusMessage* call =
        dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "GetNameOwner");
    if (!call) {
        dbus_set_error_const(error, DBUS_ERROR_NO_MEMORY, "");
        return NULL;
    }
    const char* name = kPortalName;
    dbus_message_append_args(call, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(conn, call, kCallTimeoutMs, error);
    dbus_message_unref(call);
    return reply;
}

// The unique name of the portal's connection, starting the portal first where it is started on
// demand. Every call goes to it and only its signals count: any client of the session bus can
// send a signal on any path.
static NFDi_Outcome PortalOwner(DBusConnection* conn, std::string& owner) {
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply = AskNameOwner(conn, &error);
    if (!reply && strcmp(error.name, DBUS_ERROR_NAME_HAS_NO_OWNER) == 0) {
        dbus_error_free(&error);
        if (!dbus_bus_start_service_by_name(conn, kPortalName, 0, NULL, &error)) return CallFailed(&error, "start");
        reply = AskNameOwner(conn, &error);
    }
    if (!reply) return CallFailed(&error, "owner");
    const char* unique = NULL;
    bool read = dbus_message_get_args(reply, NULL, DBUS_TYPE_STRING, &unique, DBUS_TYPE_INVALID);
    if (read) owner = unique;
    dbus_message_unref(reply);
    return read && !owner.empty() ? NFDi_CHOSEN : NFDi_UNAVAILABLE;
}

// Reads the FileChooser interface's version property.
static NFDi_Outcome PortalVersion(DBusConnection* conn, const std::string& owner, dbus_uint32_t& version) {
    version = 0;
    DBusMessage* call = dbus_message_new_method_call(owner.c_str(), kPortalPath, DBUS_INTERFACE_PROPERTIES, "Get");
    if (!call) return NFDi_UNAVAILABLE;
    const char* interface = kChooserInterface;
    const char* property = "version";
    dbus_message_append_args(call, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property, DBUS_TYPE_INVALID);
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(conn, call, kCallTimeoutMs, &error);
    dbus_message_unref(call);
    if (!reply) {
        // A portal without a chooser does not export the interface, so the property is
        // missing too: the fallback takes over then.
        if (strcmp(error.name, DBUS_ERROR_INVALID_ARGS) == 0 || strcmp(error.name, DBUS_ERROR_UNKNOWN_PROPERTY) == 0) {
            dbus_error_free(&error);
            return NFDi_UNAVAILABLE;
        }
        return CallFailed(&error, "version");
    }
    DBusMessageIter iter, variant;
    if (dbus_message_iter_init(reply, &iter) && dbus_message_iter_get_arg_type(&iter) == DBUS_TYPE_VARIANT) {
        dbus_message_iter_recurse(&iter, &variant);
        if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_UINT32)
            dbus_message_iter_get_basic(&variant, &version);
    }
    dbus_message_unref(reply);
    return NFDi_CHOSEN;
}

// Options dictionary helpers. libdbus only fails these on memory exhaustion.
static void OpenOption(DBusMessageIter* dict, DBusMessageIter* entry, DBusMessageIter* value, const char* key,
                       const char* signature) {
    dbus_message_iter_open_container(dict, DBUS_TYPE_DICT_ENTRY, NULL, entry);
    dbus_message_iter_append_basic(entry, DBUS_TYPE_STRING, &key);
    dbus_message_iter_open_container(entry, DBUS_TYPE_VARIANT, signature, value);
}

static void CloseOption(DBusMessageIter* dict, DBusMessageIter* entry, DBusMessageIter* value) {
    dbus_message_iter_close_container(entry, value);
    dbus_message_iter_close_container(dict, entry);
}

static void AppendBoolOption(DBusMessageIter* dict, const char* key, bool on) {
    DBusMessageIter entry, value;
    dbus_bool_t flag = on ? TRUE : FALSE;
    OpenOption(dict, &entry, &value, key, DBUS_TYPE_BOOLEAN_AS_STRING);
    dbus_message_iter_append_basic(&value, DBUS_TYPE_BOOLEAN, &flag);
    CloseOption(dict, &entry, &value);
}

static void AppendStringOption(DBusMessageIter* dict, const char* key, const char* text) {
    DBusMessageIter entry, value;
    OpenOption(dict, &entry, &value, key, DBUS_TYPE_STRING_AS_STRING);
    dbus_message_iter_append_basic(&value, DBUS_TYPE_STRING, &text);
    CloseOption(dict, &entry, &value);
}

// A byte string that ends in its NUL, as the portal wants paths.
static void AppendPathOption(DBusMessageIter* dict, const char* key, const std::string& path) {
    DBusMessageIter entry, value, bytes;
    OpenOption(dict, &entry, &value, key, "ay");
    dbus_message_iter_open_container(&value, DBUS_TYPE_ARRAY, DBUS_TYPE_BYTE_AS_STRING, &bytes);
    const char* data = path.c_str();
    dbus_message_iter_append_fixed_array(&bytes, DBUS_TYPE_BYTE, &data, (int)path.size() + 1);
    dbus_message_iter_close_container(&value, &bytes);
    CloseOption(dict, &entry, &value);
}

// filters a(sa(us)): one (name, [(0, glob), ...]) per file type, in order.
static void AppendFiltersOption(DBusMessageIter* dict, const std::vector<NFDi_FileType>& types) {
    DBusMessageIter entry, value, list;
    OpenOption(dict, &entry, &value, "filters", "a(sa(us))");
    dbus_message_iter_open_container(&value, DBUS_TYPE_ARRAY, "(sa(us))", &list);
    for (const NFDi_FileType& type : types) {
        DBusMessageIter filter, patterns;
        dbus_message_iter_open_container(&list, DBUS_TYPE_STRUCT, NULL, &filter);
        const char* name = type.name.c_str();
        dbus_message_iter_append_basic(&filter, DBUS_TYPE_STRING, &name);
        dbus_message_iter_open_container(&filter, DBUS_TYPE_ARRAY, "(us)", &patterns);
        for (const std::string& glob : type.globs) {
            DBusMessageIter pattern;
            dbus_uint32_t kind = 0;  // a glob, not a MIME type
            const char* text = glob.c_str();
            dbus_message_iter_open_container(&patterns, DBUS_TYPE_STRUCT, NULL, &pattern);
            dbus_message_iter_append_basic(&pattern, DBUS_TYPE_UINT32, &kind);
            dbus_message_iter_append_basic(&pattern, DBUS_TYPE_STRING, &text);
            dbus_message_iter_close_container(&patterns, &pattern);
        }
        dbus_message_iter_close_container(&filter, &patterns);
        dbus_message_iter_close_container(&list, &filter);
    }
    dbus_message_iter_close_container(&value, &list);
    CloseOption(dict, &entry, &value);
}

static DBusMessage* BuildCall(const NFDi_Request& request, const std::string& owner) {
    const char* method = request.mode == NFDi_SAVE_FILE ? "SaveFile" : "OpenFile";
    DBusMessage* call = dbus_message_new_method_call(owner.c_str(), kPortalPath, kChooserInterface, method);
    if (!call) return NULL;
    DBusMessageIter args, dict;
    dbus_message_iter_init_append(call, &args);
    const char* parentWindow = "";
    const char* title = NFDi_DialogTitle(request.mode);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &parentWindow);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &title);
    dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "{sv}", &dict);
    AppendStringOption(&dict, "handle_token", kHandleToken);
    if (request.mode == NFDi_OPEN_FILES) AppendBoolOption(&dict, "multiple", true);
    if (request.mode == NFDi_CHOOSE_FOLDER) AppendBoolOption(&dict, "directory", true);
    if (!request.fileTypes.empty()) AppendFiltersOption(&dict, request.fileTypes);
    if (!request.folder.empty()) AppendPathOption(&dict, "current_folder", request.folder);
    if (!request.name.empty()) AppendStringOption(&dict, "current_name", request.name.c_str());
    dbus_message_iter_close_container(&args, &dict);
    return call;
}

static std::string ResponseMatch(const std::string& owner, const std::string& handle) {
    return "type='signal',sender='" + owner + "',interface='" + kRequestInterface + "',member='Response',path='" +
           handle + "'";
}

// Reads results["uris"] of a Response into paths.
static NFDi_Outcome ReadUris(DBusMessageIter* results, std::vector<std::string>& paths) {
    if (dbus_message_iter_get_arg_type(results) != DBUS_TYPE_ARRAY) {
        NFDi_RecordError("The file chooser portal sent a malformed answer.");
        return NFDi_FAILED;
    }
    DBusMessageIter dict;
    dbus_message_iter_recurse(results, &dict);
    for (; dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY; dbus_message_iter_next(&dict)) {
        DBusMessageIter entry, value, list;
        const char* key = NULL;
        dbus_message_iter_recurse(&dict, &entry);
        if (dbus_message_iter_get_arg_type(&entry) != DBUS_TYPE_STRING) continue;
        dbus_message_iter_get_basic(&entry, &key);
        if (strcmp(key, "uris") != 0 || !dbus_message_iter_next(&entry)) continue;
        dbus_message_iter_recurse(&entry, &value);
        if (dbus_message_iter_get_arg_type(&value) != DBUS_TYPE_ARRAY ||
            dbus_message_iter_get_element_type(&value) != DBUS_TYPE_STRING)
            break;
        dbus_message_iter_recurse(&value, &list);
        for (; dbus_message_iter_get_arg_type(&list) == DBUS_TYPE_STRING; dbus_message_iter_next(&list)) {
            const char* uri = NULL;
            dbus_message_iter_get_basic(&list, &uri);
            std::string path;
            if (!NFDi_FileUriToPath(uri, path)) {
                NFDi_RecordErrorf("The file chooser returned an address that is not a local file: %s", uri);
                return NFDi_FAILED;
            }
            paths.push_back(path);
        }
        break;
    }
    if (paths.empty()) {
        NFDi_RecordError("The file chooser portal returned no file.");
        return NFDi_FAILED;
    }
    return NFDi_CHOSEN;
}

// Waits for the portal's Response on `handle`. A signal sent straight to this connection
// passes every match rule, so the sender is checked here again. The portal leaving the bus, or
// the bus closing, ends the wait with an error instead of a hang.
static NFDi_Outcome AwaitResponse(DBusConnection* conn, const std::string& owner, const std::string& handle,
                                  std::vector<std::string>& paths) {
    for (;;) {
        DBusMessage* msg;
        while ((msg = dbus_connection_pop_message(conn)) != NULL) {
            NFDi_Outcome outcome = NFDi_UNAVAILABLE;  // "not decided yet"
            if (dbus_message_is_signal(msg, kRequestInterface, "Response") &&
                dbus_message_has_path(msg, handle.c_str()) && dbus_message_has_sender(msg, owner.c_str())) {
                DBusMessageIter iter;
                dbus_uint32_t response = 99;
                if (dbus_message_iter_init(msg, &iter) && dbus_message_iter_get_arg_type(&iter) == DBUS_TYPE_UINT32) {
                    dbus_message_iter_get_basic(&iter, &response);
                    dbus_message_iter_next(&iter);
                }
                if (response == 0) {
                    outcome = ReadUris(&iter, paths);
                } else if (response == 1 || response == 2) {
                    // 2 is what the GTK chooser answers to Escape: a cancel as well.
                    outcome = NFDi_CANCELLED;
                } else {
                    NFDi_RecordErrorf("The file chooser portal gave the unknown response %u.", (unsigned)response);
                    outcome = NFDi_FAILED;
                }
            } else if (dbus_message_is_signal(msg, DBUS_INTERFACE_DBUS, "NameOwnerChanged")) {
                const char *name = NULL, *oldOwner = NULL, *newOwner = NULL;
                if (dbus_message_get_args(msg, NULL, DBUS_TYPE_STRING, &name, DBUS_TYPE_STRING, &oldOwner,
                                          DBUS_TYPE_STRING, &newOwner, DBUS_TYPE_INVALID) &&
                    strcmp(name, kPortalName) == 0 && newOwner[0] == '\0') {
                    NFDi_RecordError("The file chooser portal left the session bus while its dialog was open.");
                    outcome = NFDi_FAILED;
                }
            } else if (dbus_message_is_signal(msg, DBUS_INTERFACE_LOCAL, "Disconnected")) {
                NFDi_RecordError("The session bus closed while the file chooser was open.");
                outcome = NFDi_FAILED;
            }
            dbus_message_unref(msg);
            if (outcome != NFDi_UNAVAILABLE) return outcome;
        }
        if (!dbus_connection_read_write(conn, -1) &&
            dbus_connection_get_dispatch_status(conn) != DBUS_DISPATCH_DATA_REMAINS) {
            NFDi_RecordError("The session bus closed while the file chooser was open.");
            return NFDi_FAILED;
        }
    }
}

static bool AddMatch(DBusConnection* conn, const std::string& rule) {
    DBusError error;
    dbus_error_init(&error);
    dbus_bus_add_match(conn, rule.c_str(), &error);
    bool ok = !dbus_error_is_set(&error);
    dbus_error_free(&error);
    return ok;
}

static NFDi_Outcome Converse(DBusConnection* conn, const NFDi_Request& request, std::vector<std::string>& paths) {
    std::string owner;
    NFDi_Outcome found = PortalOwner(conn, owner);
    if (found != NFDi_CHOSEN) return found;
    if (request.mode == NFDi_CHOOSE_FOLDER) {
        dbus_uint32_t version = 0;
        NFDi_Outcome outcome = PortalVersion(conn, owner, version);
        if (outcome != NFDi_CHOSEN) return outcome;
        if (version < 3) {
            NFDi_RecordErrorf("The file chooser portal is too old to choose folders (version %u, 3 needed).",
                              (unsigned)version);
            return NFDi_FAILED;
        }
    }

    // The request object's path, known before the call: .../request/SENDER/TOKEN with the
    // unique name's ':' dropped and '.' made '_'.
    std::string sender = dbus_bus_get_unique_name(conn) + 1;
    for (char& ch : sender) {
        if (ch == '.') ch = '_';
    }
    std::string handle = std::string(kPortalPath) + "/request/" + sender + "/" + kHandleToken;

    // Subscribe before calling: the portal may answer before its reply to the call arrives.
    std::string ownerMatch = std::string("type='signal',sender='") + DBUS_SERVICE_DBUS + "',interface='" +
                             DBUS_INTERFACE_DBUS + "',member='NameOwnerChanged',arg0='" + kPortalName + "'";
    if (!AddMatch(conn, ResponseMatch(owner, handle)) || !AddMatch(conn, ownerMatch)) return NFDi_UNAVAILABLE;

    DBusMessage* call = BuildCall(request, owner);
    if (!call) {
        NFDi_RecordError("NFDi_Malloc failed.");
        return NFDi_FAILED;
    }
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(conn, call, kCallTimeoutMs, &error);
    dbus_message_unref(call);
    if (!reply) return CallFailed(&error, request.mode == NFDi_SAVE_FILE ? "SaveFile" : "OpenFile");

    const char* returned = NULL;
    if (dbus_message_get_args(reply, NULL, DBUS_TYPE_OBJECT_PATH, &returned, DBUS_TYPE_INVALID) && handle != returned) {
        // Older portals choose their own request path.
        std::string moved = returned;
        DBusError ignored;
        dbus_error_init(&ignored);
        dbus_bus_remove_match(conn, ResponseMatch(owner, handle).c_str(), &ignored);
        dbus_error_free(&ignored);
        handle = moved;
        if (!AddMatch(conn, ResponseMatch(owner, handle))) {
            dbus_message_unref(reply);
            NFDi_RecordError("The file chooser portal could not be followed.");
            return NFDi_FAILED;
        }
    }
    dbus_message_unref(reply);
    return AwaitResponse(conn, owner, handle, paths);
}

NFDi_Outcome NFDi_PortalChoose(const NFDi_Request& request, std::vector<std::string>& paths) {
    DBusConnection* conn = OpenSessionBus();
    if (!conn) return NFDi_UNAVAILABLE;
    NFDi_Outcome outcome = Converse(conn, request, paths);
    CloseSessionBus(conn);
    return outcome;
}
