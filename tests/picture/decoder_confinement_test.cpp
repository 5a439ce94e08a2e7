// The decoder helper shut in, and the program's side of the boundary held against a helper that
// lies: the real helper runs confined; a helper taken over can open, connect and start nothing,
// and the program reports a failed decode; an answer that never ends, or shared memory that
// shrinks under the program, is refused without harm to it.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "import_test_files.h"
#include "picture/image_decoder.h"
#include "tests/picture/decoder_test_support.h"

namespace {

const char* const Stopped = "the decoder stopped (it tried something a decoder may not do)";

bool NoChildLeft() {
    int status = 0;
    return waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The pid of this process's one running child, or 0.
pid_t OnlyChild() {
    pid_t found = 0;
    DIR* proc = opendir("/proc");
    while (dirent* entry = readdir(proc)) {
        const std::string stat = ReadText(std::string("/proc/") + entry->d_name + "/stat");
        const size_t name = stat.rfind(')');  // the command's name may hold anything
        char state = 0;
        int parent = 0;
        if (name != std::string::npos && sscanf(stat.c_str() + name + 1, " %c %d", &state, &parent) == 2 &&
            parent == getpid() && state != 'Z')
            found = pid_t(atoi(entry->d_name));
    }
    closedir(proc);
    return found;
}

// A line of /proc/<pid>/status or limits, from its name to its end.
std::string ProcLine(pid_t pid, const char* file, const char* name) {
    std::istringstream lines(ReadText("/proc/" + std::to_string(pid) + "/" + file));
    for (std::string line; std::getline(lines, line);)
        if (line.compare(0, strlen(name), name) == 0) return line;
    return "";
}

int Filters(pid_t pid) {
    int count = -1;
    sscanf(ProcLine(pid, "status", "Seccomp_filters:").c_str(), "Seccomp_filters: %d", &count);
    return count;
}

std::string WriteWords(TestFolder& folder, const char* file, const std::string& words) {
    const std::string path = folder.File(file);
    EXPECT_TRUE(WriteBytes(path, Bytes(words.begin(), words.end())));
    return path;
}

}  // namespace

// The real helper, spinning on a cut-off HDR, is watched until it has shut itself in: no new
// privileges, a seccomp filter, no file it may write. Pictures still decode (the other tests).
TEST(DecoderConfinement, TheRealHelperRunsShutIn) {
    DecoderSettings restore;
    TestFolder folder;
    ASSERT_TRUE(WriteBytes(folder.File("cut.hdr"), SpinningHdr()));
    char reason[256];
    PictureDecode* decode = StartPictureDecode(folder.File("cut.hdr").c_str(), 0, reason, sizeof reason);
    ASSERT_NE(nullptr, decode) << reason;
    const pid_t helper = OnlyChild();
    ASSERT_NE(0, helper);
    DecodedPicture picture;
    DecodeState state = DECODE_RUNNING;
    // Filters this process runs under (a container's) pass to the helper; its own comes on top,
    // as the last step of its start-up. It spins until the time limit after that.
    const int inherited = Filters(getpid());
    while (Filters(helper) <= inherited && state == DECODE_RUNNING)
        state = PollPictureDecode(decode, 10, &picture, reason, sizeof reason);
    ASSERT_EQ(DECODE_RUNNING, state) << reason;
    EXPECT_EQ("Seccomp:\t2", ProcLine(helper, "status", "Seccomp:"));
    EXPECT_EQ("NoNewPrivs:\t1", ProcLine(helper, "status", "NoNewPrivs:"));
    long long soft = -1, hard = -1;
    const std::string fileSize = ProcLine(helper, "limits", "Max file size");
    EXPECT_EQ(2, sscanf(fileSize.c_str(), "Max file size %lld %lld", &soft, &hard)) << fileSize;
    EXPECT_EQ(0, soft);
    EXPECT_EQ(0, hard);
    CancelPictureDecode(decode);
    ReapEndedDecoders(30000);
    EXPECT_TRUE(NoChildLeft());
}

// A helper taken over, shut in as the real one is, tries what a crafted file would make it do.
// Each try ends it, the program reports a failed decode, and nothing came of it. A thread, which
// decoders start, is still allowed.
TEST(DecoderConfinement, AHelperTakenOverOpensConnectsAndStartsNothing) {
    DecoderSettings restore;
    ImageDecoderPath = MISBEHAVING_DECODER;
    TestFolder folder;
    const std::string created = folder.File("created");
    const std::string socketPath = folder.File("socket");
    int listening = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(0, bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ASSERT_EQ(0, listen(listening, 4));

    for (const char* word : {"open", "connect", "spawn"}) {
        SCOPED_TRACE(word);
        const std::string target = strcmp(word, "connect") == 0 ? socketPath : created;
        Decoded got = Decode(WriteWords(folder, word, std::string(word) + " " + target));
        EXPECT_FALSE(got.Ok);
        EXPECT_EQ(Stopped, got.Reason);
        EXPECT_TRUE(NoChildLeft());
    }
    struct stat info;
    EXPECT_NE(0, stat(created.c_str(), &info)) << "a file was created";
    EXPECT_EQ(-1, accept(listening, nullptr, nullptr)) << "a connection was made";
    EXPECT_EQ(EAGAIN, errno);
    close(listening);

    Decoded threaded = Decode(WriteWords(folder, "thread", "thread"));
    EXPECT_TRUE(threaded.Ok) << threaded.Reason;
}

// A helper that keeps writing once its answer is written used to keep the program reading for
// ever; more than one record is a malformed answer, and the helper is ended.
TEST(DecoderBoundary, AnAnswerThatDoesNotEndIsRefused) {
    DecoderSettings restore;
    ImageDecoderPath = MISBEHAVING_DECODER;
    ImageDecoderTimeLimitMs = INT_MAX / 2;  // only the answer itself can end this decode
    TestFolder folder;
    Decoded got = Decode(WriteWords(folder, "chatty", "chatty"));
    EXPECT_FALSE(got.Ok);
    EXPECT_EQ("the decoder's answer was malformed", got.Reason);
    EXPECT_TRUE(NoChildLeft());
}

// The shared memory's size is sealed before it is checked: a child the helper left holding it
// cannot shrink it under the program's mapping (reading the pixels would fault with SIGBUS),
// and memory the helper made unsealable is a malformed answer.
TEST(DecoderBoundary, TheSharedMemoryCannotShrinkUnderThePixels) {
    DecoderSettings restore;
    ImageDecoderPath = MISBEHAVING_DECODER;
    TestFolder folder;
    const std::string pipePath = folder.File("go"), report = folder.File("report");
    ASSERT_EQ(0, mkfifo(pipePath.c_str(), 0600));
    // Held open for writing here, so that the child's open does not wait, and it sees the end
    // of the pipe should this test stop early.
    int go = open(pipePath.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_LE(0, go);
    const std::string picturePath = WriteWords(folder, "shrink", "shrink " + pipePath + " " + report);
    char reason[256];
    PictureDecode* decode = StartPictureDecode(picturePath.c_str(), 0, reason, sizeof reason);
    ASSERT_NE(nullptr, decode) << reason;
    DecodedPicture picture;
    ASSERT_EQ(DECODE_DONE, PollPictureDecode(decode, INT_MAX, &picture, reason, sizeof reason)) << reason;

    ASSERT_EQ(1, write(go, "x", 1));  // the child shrinks the memory now
    while (ReadText(report).empty()) usleep(1000);
    close(go);
    ASSERT_EQ("refused", ReadText(report));
    unsigned sum = 0;
    for (int i = 0; i < picture.Width * picture.Height * 4; ++i) sum += picture.Pixels[i];
    EXPECT_EQ(0u, sum);
    ReleaseDecodedPicture(&picture);

    Decoded unsealable = Decode(WriteWords(folder, "unsealable", "unsealable"));
    EXPECT_FALSE(unsealable.Ok);
    EXPECT_EQ("the decoder's answer was malformed", unsealable.Reason);
}
