// Settings: defaults, partial keys, long folders, bad types and the per-user fallback, on the
// real registry of the test prefix.
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
    static void PutDword(HKEY root, const char* name, DWORD v)
    {
        HKEY h;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr));
        RegSetValueExA(h, name, 0, REG_DWORD, (BYTE*)&v, 4);
        RegCloseKey(h);
    }
    static bool GetValue(HKEY root, const char* name, std::string* data, DWORD* type)
    {
        HKEY h;
        if (RegOpenKeyExA(root, kKey, 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS)
            return false;
        char buf[1024];
        DWORD cb = sizeof buf;
        LONG r = RegQueryValueExA(h, name, nullptr, type, (BYTE*)buf, &cb);
        RegCloseKey(h);
        if (r != ERROR_SUCCESS)
            return false;
        data->assign(buf, cb);
        return true;
    }
    static DWORD GetDword(HKEY root, const char* name)
    {
        std::string d;
        DWORD type = 0;
        EXPECT_TRUE(GetValue(root, name, &d, &type)) << name;
        EXPECT_EQ((DWORD)REG_DWORD, type) << name;
        DWORD v = 0;
        memcpy(&v, d.data(), d.size() < 4 ? d.size() : 4);
        return v;
    }
};

TEST_F(Settings, DefaultsWithoutKeyAndSavedPreferences)
{
    g_state.iCommType = 3;
    g_state.bOverwrite = 1;
    LoadSettings();
    EXPECT_EQ(0, g_state.iCommType);
    EXPECT_EQ(4096, g_state.cbBlock);
    EXPECT_STREQ("C:\\Temp", g_state.szDestDir);
    EXPECT_STREQ("C:\\Temp", g_state.szCurDir);
    EXPECT_EQ(0u, g_state.dwPeerIP);
    EXPECT_EQ(0, g_state.iSortOrder);
    EXPECT_FALSE(g_state.bOverwrite);
    EXPECT_TRUE(g_state.bPromptDelete && g_state.bShowResults && g_state.bPrefBit1);
    SaveSettings();
    EXPECT_EQ(14u, GetDword(HKEY_LOCAL_MACHINE, "Preferences"));
    std::string d;
    DWORD type;
    ASSERT_TRUE(GetValue(HKEY_LOCAL_MACHINE, "DestDir", &d, &type));
    EXPECT_EQ((DWORD)REG_SZ, type);
    EXPECT_EQ(std::string("C:\\Temp", 8), d);
}

TEST_F(Settings, OutOfRangeTypeAndOversizedValues)
{
    PutDword(HKEY_LOCAL_MACHINE, "CommType", 9);
    LoadSettings();
    EXPECT_EQ(0, g_state.iCommType);
    EXPECT_EQ(4096, g_state.cbBlock);

    PutDword(HKEY_LOCAL_MACHINE, "CommType", (DWORD)-1);
    LoadSettings();
    EXPECT_EQ(0, g_state.iCommType);

    // A folder text longer than the field is refused, not truncated into a wrong folder.
    HKEY h;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &h);
    std::string tooLong(400, 'q');
    RegSetValueExA(h, "DestDir", 0, REG_SZ, (BYTE*)tooLong.c_str(), (DWORD)tooLong.size() + 1);
    RegCloseKey(h);
    LoadSettings();
    EXPECT_STREQ("C:\\Temp", g_state.szDestDir);
}

TEST_F(Settings, PerUserKeyIsReadWhenMachineKeyIsMissing)
{
    PutDword(HKEY_CURRENT_USER, "CommType", 2);
    PutDword(HKEY_CURRENT_USER, "Preferences", 16);
    LoadSettings();
    EXPECT_EQ(2, g_state.iCommType);
    EXPECT_TRUE(g_state.bOverwrite);
    EXPECT_FALSE(g_state.bShowResults);

    g_state.iSortOrder = 3;
    ASSERT_EQ(1, SaveSettingsUnder(HKEY_CURRENT_USER));
    EXPECT_EQ(3u, GetDword(HKEY_CURRENT_USER, "Sort"));
    // The machine key, once present, wins over the per-user one.
    PutDword(HKEY_LOCAL_MACHINE, "CommType", 5);
    LoadSettings();
    EXPECT_EQ(5, g_state.iCommType);
}

}  // namespace
