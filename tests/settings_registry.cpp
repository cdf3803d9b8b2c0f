// Settings on the real registry of the test prefix: what a save wrote is read back by the next
// load for an administrator and for an ordinary user; defaults and values out of range.
#include <gtest/gtest.h>

#include <string>

#include "connection/settings.h"

#include <windows.h>
#include <sddl.h>

namespace {

struct SavedSettings : ::testing::Test {
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean()
    {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kProgramKey);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varndel");
        RegDeleteKeyA(HKEY_CURRENT_USER, kProgramKey);
    }
    // The machine key as an ordinary user finds it: one that exists is made read-only for
    // everyone (deletable, so that Clean removes it). A missing one gets a volatile parent,
    // under which the program's non-volatile key cannot be made: Wine does not check the
    // rights on the parent a key is created under, so a read-only parent would not stop it.
    static void DenyMachineWrites()
    {
        HKEY h;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProgramKey, 0, WRITE_DAC, &h) == ERROR_SUCCESS) {
            PSECURITY_DESCRIPTOR pSd = nullptr;
            ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;KRSDWD;;;WD)",
                                                                             SDDL_REVISION_1, &pSd, nullptr));
            EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, pSd));
            LocalFree(pSd);
        } else {
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varndel", 0, nullptr,
                                                     REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &h, nullptr));
        }
        RegCloseKey(h);
        ASSERT_NE(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProgramKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &h, nullptr)) << "the machine key is still writable";
    }
    static void Put(HKEY root, const char* name, DWORD type, const void* p, DWORD cb)
    {
        HKEY h;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, kProgramKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr));
        RegSetValueExA(h, name, 0, type, (const BYTE*)p, cb);
        RegCloseKey(h);
    }
    static void PutDword(HKEY root, const char* name, DWORD v) { Put(root, name, REG_DWORD, &v, 4); }
};

// Whichever keys an earlier save or an installer left, what is saved is what the next start
// loads, for an administrator and for an ordinary user; settings not stored or out of range
// have their defaults.
TEST_F(SavedSettings, WhatIsSavedIsLoadedNextWhoeverSavesAndWhicheverKeysExist)
{
    for (int iCase = 0; iCase < 8; iCase++) {
        int bOrdinary = iCase >> 2, fKeys = iCase & 3;     // keys 1: the machine's, 2: the user's
        SCOPED_TRACE((bOrdinary ? "ordinary user, keys " : "administrator, keys ") + std::to_string(fKeys));
        Clean();
        // Left by earlier saves: a sort order that tells which key was read, types outside the
        // table, and a folder longer than its field, refused rather than cut into a wrong one.
        if (fKeys & 1) {
            PutDword(HKEY_LOCAL_MACHINE, "Sort", 1);
            PutDword(HKEY_LOCAL_MACHINE, "CommType", 9);
            Put(HKEY_LOCAL_MACHINE, "DestDir", REG_SZ, std::string(400, 'q').c_str(), 401);
        }
        if (fKeys & 2) {
            PutDword(HKEY_CURRENT_USER, "Sort", 2);
            PutDword(HKEY_CURRENT_USER, "CommType", 0xFFFFFFFF);
        }
        if (bOrdinary)
            DenyMachineWrites();
        g_settings.iCommType = 3;
        g_settings.bOverwrite = 1;
        LoadSettings();
        EXPECT_EQ(fKeys & 2 ? 2 : fKeys & 1 ? 1 : 0, g_settings.iSortOrder);
        EXPECT_EQ(0, g_settings.iCommType);
        EXPECT_EQ(4096, g_settings.cbBlock);
        EXPECT_STREQ("C:\\Temp", g_settings.szDestDir);
        EXPECT_FALSE(g_settings.bOverwrite);
        g_settings.iCommType = 5;
        strcpy(g_settings.szDestDir, "D:\\In");
        SaveSettings();
        // The preferences are kept as bits of one value, as earlier installations read them.
        DWORD dw = 0, cb = sizeof dw;
        RegGetValueA(bOrdinary ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, kProgramKey, "Preferences",
                     RRF_RT_REG_DWORD, nullptr, &dw, &cb);
        EXPECT_EQ(14u, dw);
        LoadSettings();
        EXPECT_EQ(5, g_settings.iCommType);
        EXPECT_STREQ("D:\\In", g_settings.szDestDir);
    }
}

}  // namespace
