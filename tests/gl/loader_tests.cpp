// The entry-point loader with lookups of the test's own: result codes, the table it fills,
// the version rule. No GL context is needed.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "gl/gl_loader.h"

namespace {

// What the fake context reports; a pre-3.0 context leaves the version queries unanswered.
int FakeMajor = 0, FakeMinor = 0;
bool FakeKnowsVersionQueries = true;
bool FakeHasGetIntegerv = true;

void APIENTRY FakeGetIntegerv(GLenum pname, GLint* data) {
    if (!FakeKnowsVersionQueries) return;
    if (pname == GL_MAJOR_VERSION) *data = FakeMajor;
    if (pname == GL_MINOR_VERSION) *data = FakeMinor;
}

// Any other name resolves to a distinct fake address: the address of its own name in the
// loader's table, which is unique per slot and never called.
void* FakeLookup(const char* name) {
    if (strcmp(name, "glGetIntegerv") == 0)
        return FakeHasGetIntegerv ? reinterpret_cast<void*>(&FakeGetIntegerv) : nullptr;
    if (strncmp(name, "glProgramUniform", 16) == 0) return nullptr;  // a family the context lacks
    for (int slot = 0; slot < GL_ENTRY_POINT_COUNT; ++slot)
        if (strcmp(GLEntryPointNames[slot], name) == 0) return const_cast<char*>(GLEntryPointNames[slot]);
    return nullptr;
}

void ResetLoader(int major, int minor, bool knowsVersionQueries = true, bool hasGetIntegerv = true) {
    for (void*& entry : GLEntryPoints) entry = nullptr;
    GLContextVersion[0] = GLContextVersion[1] = 0;
    FakeMajor = major;
    FakeMinor = minor;
    FakeKnowsVersionQueries = knowsVersionQueries;
    FakeHasGetIntegerv = hasGetIntegerv;
}

int SlotOf(const char* name) {
    for (int slot = 0; slot < GL_ENTRY_POINT_COUNT; ++slot)
        if (strcmp(GLEntryPointNames[slot], name) == 0) return slot;
    return -1;
}

}  // namespace

// Declared first so that it sees the state at process start, before any load.
TEST(GLLoader, BeforeLoadingNoVersionIsSatisfied) {
    EXPECT_EQ(GLContextVersion[0], 0);
    EXPECT_EQ(GLContextVersion[1], 0);
    EXPECT_EQ(GLLibrary, nullptr);
    for (int major = 0; major <= 5; ++major)
        for (int minor = 0; minor <= 6; ++minor)
            EXPECT_FALSE(IsGLVersionAtLeast(major, minor)) << major << "." << minor;
    for (void* entry : GLEntryPoints) EXPECT_EQ(entry, nullptr);
}

TEST(GLLoader, NameTableIsTheSortedCoreProfile) {
    ASSERT_EQ(GL_ENTRY_POINT_COUNT, 657);
    EXPECT_STREQ(GLEntryPointNames[0], "glActiveShaderProgram");
    EXPECT_STREQ(GLEntryPointNames[656], "glWaitSync");
    for (int slot = 1; slot < GL_ENTRY_POINT_COUNT; ++slot)
        EXPECT_LT(strcmp(GLEntryPointNames[slot - 1], GLEntryPointNames[slot]), 0) << GLEntryPointNames[slot];
    // Core-profile names only: no vendor or ARB suffixes, none of the compatibility-only calls,
    // and glGetPointerv, removed in 3.2 and brought back in 4.3, is there.
    EXPECT_EQ(SlotOf("glBegin"), -1);
    EXPECT_EQ(SlotOf("glMatrixMode"), -1);
    EXPECT_EQ(SlotOf("glDebugMessageCallbackARB"), -1);
    EXPECT_NE(SlotOf("glGetPointerv"), -1);
    EXPECT_NE(SlotOf("glSpecializeShader"), -1);  // 4.6
    EXPECT_EQ(GLSlot_glGetIntegerv, SlotOf("glGetIntegerv"));
}

TEST(GLLoader, ResultCodesFollowTheContextVersion) {
    ResetLoader(3, 0);
    EXPECT_EQ(LoadGLEntryPointsWith(FakeLookup), GL_LOADER_OK);
    EXPECT_EQ(GLContextVersion[0], 3);
    EXPECT_EQ(GLContextVersion[1], 0);
    EXPECT_NE(GLLibrary, nullptr);

    // A 2.1 context does not know the version queries: the numbers stay 0.
    ResetLoader(2, 1, /*knowsVersionQueries=*/false);
    EXPECT_EQ(LoadGLEntryPointsWith(FakeLookup), GL_LOADER_OLD_VERSION);
    EXPECT_EQ(GLContextVersion[0], 0);

    ResetLoader(4, 6);
    EXPECT_EQ(LoadGLEntryPointsWith(FakeLookup), GL_LOADER_OK);
}

TEST(GLLoader, EverySlotIsFilledAsFarAsTheLookupAnswers) {
    ResetLoader(4, 3, true, /*hasGetIntegerv=*/false);
    EXPECT_EQ(LoadGLEntryPointsWith(FakeLookup), GL_LOADER_NO_VERSION_QUERY);
    EXPECT_EQ(GLContextVersion[0], 0);
    for (int slot = 0; slot < GL_ENTRY_POINT_COUNT; ++slot) {
        const char* name = GLEntryPointNames[slot];
        if (slot == GLSlot_glGetIntegerv || strncmp(name, "glProgramUniform", 16) == 0)
            EXPECT_EQ(GLEntryPoints[slot], nullptr) << name;
        else
            EXPECT_EQ(GLEntryPoints[slot], static_cast<const void*>(name))
                << name;  // each slot got its own name's answer
    }
}

TEST(GLLoader, VersionRuleOnA43Context) {
    ResetLoader(4, 3);
    ASSERT_EQ(LoadGLEntryPointsWith(FakeLookup), GL_LOADER_OK);
    EXPECT_TRUE(IsGLVersionAtLeast(3, 3));
    EXPECT_TRUE(IsGLVersionAtLeast(3, 9));  // another major: the minor numbers play no part
    EXPECT_TRUE(IsGLVersionAtLeast(4, 2));
    EXPECT_TRUE(IsGLVersionAtLeast(4, 3));
    EXPECT_FALSE(IsGLVersionAtLeast(4, 5));
    EXPECT_FALSE(IsGLVersionAtLeast(5, 0));
    EXPECT_FALSE(IsGLVersionAtLeast(2, 0));
    EXPECT_FALSE(IsGLVersionAtLeast(2, 1));
}

TEST(GLLoader, TheLibraryAnswersWhatTheContextLookupDoesNot) {
    // Without a context SDL's lookup answers nothing, so whatever FindGLEntryPoint finds comes
    // from the opened library's exported symbols.
    ResetLoader(3, 3);
    ASSERT_EQ(LoadGLEntryPointsWith(FakeLookup), GL_LOADER_OK);
    ASSERT_NE(GLLibrary, nullptr);
    EXPECT_NE(FindGLEntryPoint("glClear"), nullptr);
    EXPECT_NE(FindGLEntryPoint("glGetString"), nullptr);
    EXPECT_EQ(FindGLEntryPoint("glNoSuchFunctionAnywhere"), nullptr);
}

TEST(GLLoader, MissingLibraryLeavesEverythingEmpty) {
    static const char* const names[] = {"libvellumry-no-such-gl.so.9", nullptr};
    const char* const* saved = GLLibraryNames;
    GLLibraryNames = names;
    ResetLoader(4, 6);
    GLLibrary = nullptr;
    EXPECT_EQ(LoadGLEntryPointsWith(FakeLookup), GL_LOADER_NO_LIBRARY);
    EXPECT_EQ(GLLibrary, nullptr);
    EXPECT_EQ(GLContextVersion[0], 0);
    EXPECT_EQ(GLContextVersion[1], 0);
    for (void* entry : GLEntryPoints) EXPECT_EQ(entry, nullptr);
    GLLibraryNames = saved;
}
