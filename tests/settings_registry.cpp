// Settings on the real registry of the test prefix: defaults, values out of range, and the
// per-user key read only where the machine key is missing.
#include <gtest/gtest.h>

#include <string>

#include "connection/session.h"

namespace {

const char kKey[] = "SOFTWARE\\Varndel\\Talmox";

struct Settings : ::testing::Test {
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean()
    {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
        RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
    }
    static void Put(HKEY root, const char* name, DWORD type, const void* p, DWORD cb)
    {
        HKEY h;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr));
        RegSetValueExA(h, name, 0, type, (const BYTE*)p, cb);
        RegCloseKey(h);
    }
    static void PutDword(HKEY root, const char* name, DWORD v) { Put(root, name, REG_DWORD, &v, 4); }
};

TEST_F(Settings, DefaultsWithoutAKeyAndTheirSavedPreferences)
{
    g_state.iCommType = 3;
    g_state.bOverwrite = 1;
    LoadSettings();
    EXPECT_EQ(0, g_state.iCommType);
    EXPECT_STREQ("C:\\Temp", g_state.szDestDir);
    EXPECT_FALSE(g_state.bOverwrite);
    // The preferences are kept as bits of one value, as earlier installations read them.
    SaveSettings();
    DWORD dw = 0, cb = sizeof dw;
    RegGetValueA(HKEY_LOCAL_MACHINE, kKey, "Preferences", RRF_RT_REG_DWORD, nullptr, &dw, &cb);
    EXPECT_EQ(14u, dw);
}

TEST_F(Settings, OutOfRangeTypesAndOversizedFoldersFallBackToTheDefaults)
{
    for (DWORD dwType : {9u, 0xFFFFFFFFu}) {
        PutDword(HKEY_LOCAL_MACHINE, "CommType", dwType);
        g_state.iCommType = 3;
        LoadSettings();
        EXPECT_EQ(0, g_state.iCommType) << dwType;
        EXPECT_EQ(4096, g_state.cbBlock) << dwType;
    }
    // A folder text longer than the field is refused, not truncated into a wrong folder.
    std::string tooLong(400, 'q');
    Put(HKEY_LOCAL_MACHINE, "DestDir", REG_SZ, tooLong.c_str(), (DWORD)tooLong.size() + 1);
    LoadSettings();
    EXPECT_STREQ("C:\\Temp", g_state.szDestDir);
}

TEST_F(Settings, PerUserKeyIsReadOnlyWhenTheMachineKeyIsMissing)
{
    PutDword(HKEY_CURRENT_USER, "CommType", 2);
    PutDword(HKEY_CURRENT_USER, "Preferences", 16);
    LoadSettings();
    EXPECT_EQ(2, g_state.iCommType);
    EXPECT_TRUE(g_state.bOverwrite);
    EXPECT_FALSE(g_state.bShowResults);
    PutDword(HKEY_LOCAL_MACHINE, "CommType", 5);
    LoadSettings();
    EXPECT_EQ(5, g_state.iCommType);
}

}  // namespace
