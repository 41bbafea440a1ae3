// The send commands of hooked sample hosts, chosen as a person would choose
// them: the host prints while a send printer is the default and the user's
// printer comes back, also when two hosts print at once or the host's Print
// crashes; the Office-type host hands printing to the companion program; the
// mail command starts the sending program with its job file, or, without a
// mail system, offers the save dialog; the phone book starts in its modes.
// Messages are found by class "#32770", read and pressed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "../../tools/hosts/host_common.h"
#include "../../tools/hosts/host_report.h"
#include "../win/system_profile_sandbox.h"
#include "e2e_support.h"
#include "settings_dialog.h"
#include "send/mail_program.h"
#include "send/printer_switch.h"
#include "suite/suite_settings.h"

using test_support::RegistryValueSandbox;
using test_support::WinIniSandbox;

namespace {

constexpr char kUserDefault[] = "User Laser,winspool,LPT1:";
constexpr char kSendDevice[] = "Tellarine Send,PFCSEND,FAX2:";  // printer kind 2
constexpr char kFaxDevice[] = "Tellarine Fax,PFCFAX,FAX1:";     // printer kind 1
constexpr char kSuiteKey[] = "SOFTWARE\\VORLAND\\PARVANE";
constexpr char kProfile[] = "C:\\Program Files\\Tellarine\\Common\\PvPfcW32.ini";
constexpr DWORD kWaitMs = 20000;

// The send commands by the mnemonics of their items in the send popup.
constexpr char kKeysPrintCover[] = "c";   // output option 3, printer kind 2
constexpr char kKeysPrintQuick[] = "q";   // output option 1, printer kind 1
constexpr char kKeysPrintOptions[] = "o"; // printer kind 3
constexpr char kKeysPhonebook[] = "mp";
constexpr char kKeysPhonebookEntry[] = "me";
constexpr char kKeysSendByMail[] = "mm";
constexpr char kKeysConfigure[] = "pc";
constexpr int kSendButtonId = 12661;

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> StandinLinesOf(const char* pszProgram) {
    std::vector<std::string> lines;
    for (const std::string& line : e2e::ReadStandinLog())
        if (line.rfind(std::string(pszProgram) + "|", 0) == 0) lines.push_back(line.substr(line.find('|') + 1));
    return lines;
}

// Reads the environment the test scripts give (scripts/wine-env.sh).
std::string EnvironmentValue(const char* pszName) {
    char szValue[260] = {};
    const DWORD cch = GetEnvironmentVariableA(pszName, szValue, sizeof szValue);
    return cch > 0 && cch < sizeof szValue ? szValue : std::string();
}

// The text of the PDF that the spooler wrote for a print job of this title,
// read by a Unix script: Wine starts it, but cannot wait for it, so its
// output file is awaited instead.
std::string PrintedText(const std::string& title) {
    const std::string out = e2e::BuildPath("tests/e2e/" + title + ".txt");
    std::string unixOut = out.substr(2);  // drive Z: is the Unix root
    std::replace(unixOut.begin(), unixOut.end(), '\\', '/');
    std::string command = std::string("/bin/sh " PFC_PDF_TEXT_SCRIPT " ") + title + " " + unixOut;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return "<" PFC_PDF_TEXT_SCRIPT " could not be started>";
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!e2e::WaitUntil([&] { return GetFileAttributesA(out.c_str()) != INVALID_FILE_ATTRIBUTES; }, 90000))
        return "<no text within 90 s>";
    std::ifstream in(out);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    DeleteFileA(out.c_str());
    return text;
}

// A sample host started with its own log of Print commands and WIN.INI
// notifications.
class Host {
public:
    Host(const char* pszProgram, const std::string& switches)
        : m_log(e2e::BuildPath(std::string("tests/e2e/") + pszProgram + "-" + std::to_string(++s_nHosts) + ".log")) {
        DeleteFileA(m_log.c_str());
        m_process = std::make_unique<e2e::Process>("\"" + e2e::BuildPath(std::string("tools/hosts/") + pszProgram +
                                                                          ".exe") +
                                                   "\" --log=\"" + m_log + "\" " + switches);
        if (m_process->Started()) m_hWnd = m_process->WaitForMainWindow(kWaitMs);
        // Side by side and uncovered, as a person arranges them: a send
        // button goes where the screen shows room in the tool bar. The new
        // size makes the host look at its send item again.
        if (m_hWnd != nullptr)
            SetWindowPos(m_hWnd, HWND_TOP, (s_nHosts % 3) * 420, 0, 410, 360, SWP_SHOWWINDOW);
    }
    ~Host() { DeleteFileA(m_log.c_str()); }

    // Its send item is in place: a popup at the end of the menu bar, or a
    // button in the tool bar (which comes from a timer a little later).
    bool WaitUntilServed() {
        return m_hWnd != nullptr && e2e::WaitUntil(
                                        [&] {
                                            DWORD_PTR dwAnswer = 0;
                                            if (!SendMessageTimeoutA(m_hWnd, host_report::kReportMessage,
                                                                     host_report::kAskSendItem, 0, SMTO_ABORTIFHUNG,
                                                                     5000, &dwAnswer))
                                                return false;
                                            const int nItem = host_report::Value(static_cast<LRESULT>(dwAnswer));
                                            m_bButton = nItem == host_report::kSendButton;
                                            return nItem != 0;
                                        },
                                        kWaitMs);
    }
    // Chooses a send command as a person does: F10, End to the last menu of
    // the menu bar and Down to open it, or a click on the send button; then
    // the mnemonic letters of the command (a submenu's first).
    bool Choose(const char* pszKeys) const {
        if (!e2e::WaitUntil([&] { return VisibleMenu() == nullptr; }, kWaitMs)) return false;
        if (m_bButton) {
            HWND hButton = FindSendButton();
            if (hButton == nullptr || !Settled()) return false;
            PostMessageA(hButton, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
            if (!e2e::WaitUntil([&] { return VisibleMenu() != nullptr; }, kWaitMs)) return false;
        } else if (!e2e::OpenLastMenuOfMenuBar(m_hWnd, kWaitMs)) {
            return false;
        }
        for (const char* p = pszKeys; *p != '\0'; ++p) PostMessageA(m_hWnd, WM_CHAR, static_cast<WPARAM>(*p), 0);
        return true;
    }
    // True once the host has handled everything posted to it before.
    bool Settled() const {
        DWORD_PTR dwIgnored = 0;
        return SendMessageTimeoutA(m_hWnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kWaitMs, &dwIgnored) != 0;
    }
    std::vector<std::string> Log() const { return ReadLines(m_log); }
    bool WaitForPrints(size_t nPrints) const {
        return e2e::WaitUntil(
            [&] {
                const auto lines = Log();
                return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
                           return line.rfind("PRINT ", 0) == 0;
                       })) >= nPrints;
            },
            kWaitMs);
    }
    DWORD Id() const { return m_process->Id(); }
    HWND Window() const { return m_hWnd; }
    bool Alive() const { return WaitForSingleObject(m_process->Handle(), 0) == WAIT_TIMEOUT; }
    // Ended from outside, as the task manager ends a program.
    void Kill() const {
        TerminateProcess(m_process->Handle(), 1);
        WaitForSingleObject(m_process->Handle(), kWaitMs);
    }

private:
    struct Search {
        DWORD dwProcessId;
        HWND hFound;
    };
    static BOOL CALLBACK MatchSendButton(HWND hWnd, LPARAM lParam) {
        if (GetDlgCtrlID(hWnd) != kSendButtonId || !IsWindowVisible(hWnd)) return TRUE;
        reinterpret_cast<Search*>(lParam)->hFound = hWnd;
        return FALSE;
    }
    HWND VisibleMenu() const { return e2e::FindShownMenuOfProcess(m_process->Id()); }
    HWND FindSendButton() const {
        Search search{0, nullptr};
        EnumChildWindows(m_hWnd, MatchSendButton, reinterpret_cast<LPARAM>(&search));
        return search.hFound;
    }

    static inline int s_nHosts = 0;
    bool m_bButton = false;
    std::string m_log;
    std::unique_ptr<e2e::Process> m_process;
    HWND m_hWnd = nullptr;
};

// Reads the message the host shows, presses OK, and returns its text.
std::string PressMessage(const Host& host) {
    HWND hBox = e2e::WaitForDialogWithText(host.Id(), kWaitMs);
    if (hBox == nullptr) return "<no message>";
    const std::string text = e2e::DialogText(hBox);
    PostMessageA(hBox, WM_COMMAND, IDOK, 0);
    e2e::WaitUntil([&] { return !IsWindow(hBox); }, kWaitMs);
    return text;
}

class SendActionsE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_controller.Installed());
        m_winIni.Set("windows", "device", kUserDefault);
        e2e::ClearStandinLog();
    }
    static std::string DefaultDevice() { return WinIniSandbox::Get("windows", "device"); }
    // An open switch is what the controller would repair; none is left once
    // the record is gone.
    static bool SwitchRecordPresent() {
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kSuiteKeyPath, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return false;
        const bool bPresent =
            RegQueryValueExA(hKey, send::kPrinterSwitchValueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        RegCloseKey(hKey);
        return bPresent;
    }
    static bool UserDefaultIsBack(const std::string& userDefault = kUserDefault) {
        return e2e::WaitUntil([&] { return DefaultDevice() == userDefault; }, kWaitMs);
    }

    WinIniSandbox m_winIni;
    e2e::ControllerSession m_controller;
};

TEST_F(SendActionsE2E, MenuHostPrintsWhileTheSendPrinterIsTheDefault) {
    const struct {
        const char* pszName;
        const char* pszUserDefault;
        const char* pszSendEntry;  // [devices] entry of "Tellarine Send"
        std::vector<std::string> expected;
    } kCases[] = {
        {"switched", kUserDefault, "PFCSEND,FAX2:",
         {"WININICHANGE windows", std::string("PRINT ") + kSendDevice, "WININICHANGE windows"}},
        {"differs in case", "tellarine send,PFCSEND,FAX2:", "PFCSEND,FAX2:",
         {"WININICHANGE windows", std::string("PRINT ") + kSendDevice, "WININICHANGE windows"}},
        {"already the default", kSendDevice, "PFCSEND,FAX2:", {std::string("PRINT ") + kSendDevice}},
        {"entry without a comma", kUserDefault, "FAX2:",
         {"WININICHANGE windows", "PRINT Tellarine Send,,FAX2:", "WININICHANGE windows"}},
    };
    Host host("PFCMENUHOST", "");
    ASSERT_TRUE(host.WaitUntilServed());
    size_t nLines = 0;
    for (const auto& c : kCases) {
        m_winIni.Set("windows", "device", c.pszUserDefault);
        m_winIni.Set("devices", "Tellarine Send", c.pszSendEntry);
        ASSERT_TRUE(host.Choose(kKeysPrintCover));
        ASSERT_TRUE(host.WaitForPrints(1 + (&c - kCases))) << c.pszName;
        ASSERT_TRUE(host.Settled());
        const auto lines = host.Log();
        EXPECT_EQ(c.expected, std::vector<std::string>(lines.begin() + nLines, lines.end())) << c.pszName;
        nLines = lines.size();
        EXPECT_EQ(c.pszUserDefault, DefaultDevice()) << c.pszName;
    }
    EXPECT_TRUE(e2e::ReadStandinLog().empty());
}

// A real page: the send printer is a queue of the print spooler, the user's
// default printer another; the host prints to whichever is the default.
TEST_F(SendActionsE2E, MenuHostPrintsARealPageThroughTheSendQueue) {
    const std::string sendQueue = EnvironmentValue("PFC_SEND_QUEUE");
    const std::string userQueue = EnvironmentValue("PFC_USER_QUEUE");
    ASSERT_FALSE(sendQueue.empty() || userQueue.empty()) << "the print queues are named by scripts/wine-env.sh";
    // Wine lists each queue of the spooler as a printer of its own name.
    const std::string sendEntry = WinIniSandbox::Get("devices", sendQueue.c_str());
    const std::string userEntry = WinIniSandbox::Get("devices", userQueue.c_str());
    ASSERT_FALSE(sendEntry.empty() || userEntry.empty()) << "the prefix does not list the spooler's queues";
    const std::string userDevice = userQueue + "," + userEntry;
    m_winIni.Set("windows", "device", userDevice.c_str());
    RegistryValueSandbox sendPrinter(HKEY_LOCAL_MACHINE, kSuiteKey, "QOVISendPrinter");
    sendPrinter.SetString(sendQueue);

    // Letters and digits only: the PDF text renders a hyphen as a soft one.
    const std::string title = "PfcPrintE2E" + std::to_string(GetCurrentProcessId()) + "t" +
                              std::to_string(GetTickCount());
    Host host("PFCMENUHOST", "--print-page=" + title);
    ASSERT_TRUE(host.WaitUntilServed());
    ASSERT_TRUE(host.Choose(kKeysPrintCover));
    ASSERT_TRUE(host.WaitForPrints(1));
    ASSERT_TRUE(host.Settled());
    EXPECT_EQ((std::vector<std::string>{"WININICHANGE windows", "PRINT " + sendQueue + "," + sendEntry,
                                        "PAGE " + sendQueue, "WININICHANGE windows"}),
              host.Log());
    EXPECT_TRUE(UserDefaultIsBack(userDevice));
    const std::string text = PrintedText(title);
    EXPECT_NE(std::string::npos, text.find(host::kDocumentText)) << text;
    EXPECT_NE(std::string::npos, text.find(title)) << text;
}

TEST_F(SendActionsE2E, PrinterKindWithoutPrinterNamesTheHostAndNoPrinter) {
    RegistryValueSandbox partner(HKEY_LOCAL_MACHINE, kSuiteKey, "OEM1Printer");
    partner.Remove();
    Host host("PFCMENUHOST", "");
    ASSERT_TRUE(host.WaitUntilServed());
    ASSERT_TRUE(host.Choose(kKeysPrintOptions));
    EXPECT_EQ("PFCMENUHOST.EXE cannot print to the send printer . Check that the printer is installed and that the "
              "program's Print command was found.",
              PressMessage(host));
    ASSERT_TRUE(host.Settled());
    EXPECT_TRUE(host.Log().empty());
    EXPECT_EQ(kUserDefault, DefaultDevice());
}

TEST_F(SendActionsE2E, FaultingPrintCommandStillGetsTheDefaultBack) {
    Host host("PFCMENUHOST", "--print-fault");
    ASSERT_TRUE(host.WaitUntilServed());
    ASSERT_TRUE(host.Choose(kKeysPrintCover));
    ASSERT_TRUE(host.WaitForPrints(1));
    EXPECT_TRUE(UserDefaultIsBack());
    ASSERT_TRUE(host.Settled());
    EXPECT_TRUE(host.Alive());
    EXPECT_EQ((std::vector<std::string>{"WININICHANGE windows", std::string("PRINT ") + kSendDevice,
                                        "WININICHANGE windows"}),
              host.Log());
}

// A host that never finishes its Print command (ended from outside while it
// prints) cannot give the default back; the controller does, within a few
// seconds. A default the user picks while a host prints stays theirs.
TEST_F(SendActionsE2E, DefaultComesBackWhenTheHostDiesAndStaysWhenTheUserChose) {
    constexpr char kChosen[] = "Chosen Printer,winspool,LPT3:";
    constexpr DWORD kControllerRepairMs = 5000;
    {
        Host host("PFCMENUHOST", "--print-delay=60000");
        ASSERT_TRUE(host.WaitUntilServed());
        ASSERT_TRUE(host.Choose(kKeysPrintCover));
        ASSERT_TRUE(host.WaitForPrints(1));
        ASSERT_EQ(kSendDevice, DefaultDevice());
        host.Kill();
        ASSERT_FALSE(host.Alive());
        EXPECT_TRUE(e2e::WaitUntil([] { return DefaultDevice() == kUserDefault; }, kControllerRepairMs))
            << DefaultDevice();
    }
    {
        Host host("PFCMENUHOST", "--print-delay=3000");
        ASSERT_TRUE(host.WaitUntilServed());
        ASSERT_TRUE(host.Choose(kKeysPrintCover));
        ASSERT_TRUE(host.WaitForPrints(1));
        m_winIni.Set("windows", "device", kChosen);
        ASSERT_TRUE(host.Settled());  // its Print command is over
        // and it left the controller no switch to repair: nothing can put
        // the old default back after this.
        ASSERT_TRUE(e2e::WaitUntil([] { return !SwitchRecordPresent(); }, kWaitMs));
        EXPECT_EQ(kChosen, DefaultDevice());
    }
}

TEST_F(SendActionsE2E, OfficeHostHandsPrintingToTheCompanion) {
    Host host("PFCOFFICE", "");
    ASSERT_TRUE(host.WaitUntilServed());
    ASSERT_TRUE(host.Choose(kKeysPrintCover));
    ASSERT_TRUE(e2e::WaitUntil([] { return !StandinLinesOf("PvPfcOle.exe").empty(); }, kWaitMs));
    const std::string line = StandinLinesOf("PvPfcOle.exe")[0];
    EXPECT_EQ(" 3 2", line.substr(line.size() - 4)) << line;
    ASSERT_TRUE(host.Settled());
    EXPECT_TRUE(host.Log().empty());
    EXPECT_EQ(kUserDefault, DefaultDevice());
}

TEST_F(SendActionsE2E, BrowserHostOfIndexZeroPrintsThroughTheDefaultPrinter) {
    // The browser's Print command, as the configuration would name it.
    e2e::ProfileBackup backup;
    WritePrivateProfileStringA("PFCBROWSE.EXE", "PrintCmd", "101", kProfile);
    Host host("PFCBROWSE", "");
    ASSERT_TRUE(host.WaitUntilServed());
    ASSERT_TRUE(host.Choose(kKeysPrintQuick));
    ASSERT_TRUE(host.WaitForPrints(1));
    ASSERT_TRUE(host.Settled());
    EXPECT_EQ((std::vector<std::string>{"WININICHANGE windows", std::string("PRINT ") + kFaxDevice,
                                        "WININICHANGE windows"}),
              host.Log());
    EXPECT_TRUE(StandinLinesOf("PvPfcOle.exe").empty());
    EXPECT_EQ(kUserDefault, DefaultDevice());
}

TEST_F(SendActionsE2E, TwoHostsPrintingAtOnceGiveTheUserDefaultBack) {
    Host first("PFCMENUHOST", "--print-delay=500");
    Host second("PFCMENUHOST", "--print-delay=500");
    ASSERT_TRUE(first.WaitUntilServed());
    ASSERT_TRUE(second.WaitUntilServed());
    for (size_t nRound = 1; nRound <= 20; ++nRound) {
        // Two send printers, so that each host's switch differs from the
        // other's: saving the other's switch is what loses the default.
        ASSERT_TRUE(first.Choose(kKeysPrintCover));
        ASSERT_TRUE(second.Choose(kKeysPrintQuick));
        ASSERT_TRUE(first.WaitForPrints(nRound)) << nRound;
        ASSERT_TRUE(second.WaitForPrints(nRound)) << nRound;
        ASSERT_TRUE(first.Settled());
        ASSERT_TRUE(second.Settled());
        ASSERT_EQ(kUserDefault, DefaultDevice()) << "round " << nRound;
    }
    // While a host printed, a send printer was the default.
    for (const Host* pHost : {&first, &second})
        for (const std::string& line : pHost->Log()) {
            if (line.rfind("PRINT ", 0) != 0) continue;
            EXPECT_TRUE(line == std::string("PRINT ") + kSendDevice || line == std::string("PRINT ") + kFaxDevice)
                << line;
        }
}

class MailE2E : public SendActionsE2E {
protected:
    RegistryValueSandbox m_mailEngine{HKEY_CLASSES_ROOT, send::CurrentUserSettingKeyPath(send::kSettingMailEngine),
                                      nullptr};
};

TEST_F(MailE2E, SendingProgramGetsTheJobFile) {
    for (const char* pszEngine : {"0", "256"}) {
        e2e::ClearStandinLog();
        m_mailEngine.SetString(pszEngine);
        const char* pszProgram = pszEngine[0] == '0' ? "VXMAIL32.exe" : "VXMAIL16.exe";
        Host host("PFCMENUHOST", "");
        ASSERT_TRUE(host.WaitUntilServed());
        ASSERT_TRUE(host.Choose(kKeysSendByMail));
        ASSERT_TRUE(e2e::WaitUntil([&] { return !StandinLinesOf(pszProgram).empty(); }, kWaitMs)) << pszProgram;
        const std::string line = StandinLinesOf(pszProgram)[0];
        const size_t nOption = line.find(" -de6 ");
        ASSERT_NE(std::string::npos, nOption) << line;
        const std::string jobPath = line.substr(nOption + 6);
        EXPECT_NE(std::string::npos, jobPath.find("\\~PF")) << jobPath;
        std::ifstream job(jobPath, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(job)), {});
        const std::string text = "{coversubject} Send by Mail";
        ASSERT_EQ(556 + text.size() + 1, bytes.size());
        EXPECT_EQ(std::string("\x01\x00", 2) + static_cast<char>(text.size() + 1) + '\0',
                  std::string(bytes.begin(), bytes.begin() + 4));
        EXPECT_EQ(std::string(552, '\0'), std::string(bytes.begin() + 4, bytes.begin() + 556));
        EXPECT_EQ(text + '\0', std::string(bytes.begin() + 556, bytes.end()));
        job.close();
        DeleteFileA(jobPath.c_str());
    }
}

TEST_F(MailE2E, SendingProgramThatCannotStartIsReported) {
    RegistryValueSandbox programDir(HKEY_CLASSES_ROOT, send::kProgramDirectoryKey, nullptr);
    programDir.SetString("C:\\Program Files\\Tellarine\\Missing");
    Host host("PFCMENUHOST", "");
    ASSERT_TRUE(host.WaitUntilServed());
    ASSERT_TRUE(host.Choose(kKeysSendByMail));
    EXPECT_EQ("The sending program could not be started.", PressMessage(host));
    ASSERT_TRUE(host.Settled());
}

TEST_F(MailE2E, WithoutMailSystemTheSaveDialogCopiesTheViewer) {
    m_mailEngine.SetString("4");
    const std::string savedDir = e2e::BuildPath("tests/e2e/saved");
    CreateDirectoryA(savedDir.c_str(), nullptr);
    RegistryValueSandbox lastSave(HKEY_CURRENT_USER, kSuiteKey, "LastSaveFilePath");
    lastSave.SetString(savedDir + "\\");  // a folder, with its backslash
    const std::string target = savedDir + "\\Viewer copy.exe";
    DeleteFileA(target.c_str());

    Host host("PFCMENUHOST", "");
    ASSERT_TRUE(host.WaitUntilServed());
    for (bool bConfirm : {false, true}) {
        ASSERT_TRUE(host.Choose(kKeysSendByMail));
        HWND hDialog = nullptr;
        ASSERT_TRUE(e2e::WaitUntil(
            [&] {
                hDialog = e2e::FindWindowOfProcess(host.Id(), "#32770");
                char szTitle[64] = {};
                if (hDialog != nullptr) GetWindowTextA(hDialog, szTitle, sizeof szTitle);
                return hDialog != nullptr && IsWindowVisible(hDialog) && lstrcmpA(szTitle, "Save Document As") == 0;
            },
            kWaitMs));
        // The file name box (a combo box holding an edit, or an edit) shows
        // the proposed name once the dialog is ready.
        HWND hName = GetDlgItem(hDialog, 0x47C);
        if (hName == nullptr) hName = GetDlgItem(hDialog, 0x480);
        ASSERT_NE(nullptr, hName);
        ASSERT_TRUE(e2e::WaitUntil(
            [&] {
                char szName[MAX_PATH] = {};
                DWORD_PTR dwCopied = 0;
                SendMessageTimeoutA(hName, WM_GETTEXT, MAX_PATH, reinterpret_cast<LPARAM>(szName), SMTO_ABORTIFHUNG,
                                    5000, &dwCopied);
                return lstrcmpiA(szName, "Yarrow.exe") == 0;
            },
            kWaitMs));
        if (!bConfirm) {
            // Painted through before the picture is taken.
            RedrawWindow(hDialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            DWORD_PTR dwIgnored = 0;
            SendMessageTimeoutA(hDialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kWaitMs, &dwIgnored);
            ASSERT_TRUE(e2e::SaveWindowPicture(hDialog, e2e::BuildPath("tests/e2e/save-dialog.png")));
            PostMessageA(hDialog, WM_COMMAND, IDCANCEL, 0);
        } else {
            SendMessageA(hName, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()));
            PostMessageA(hDialog, WM_COMMAND, IDOK, 0);
        }
        ASSERT_TRUE(e2e::WaitUntil([&] { return !IsWindow(hDialog); }, kWaitMs));
        ASSERT_TRUE(host.Settled());
        EXPECT_EQ(nullptr, e2e::FindWindowOfProcess(host.Id(), "#32770")) << "a message was shown";
        EXPECT_EQ(bConfirm, GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES) << bConfirm;
    }
    DeleteFileA(target.c_str());
    RemoveDirectoryA(savedDir.c_str());
    EXPECT_TRUE(StandinLinesOf("VXMAIL32.exe").empty());
}

TEST_F(SendActionsE2E, PhonebookStartsInItsModes) {
    Host host("PFCMENUHOST", "");
    ASSERT_TRUE(host.WaitUntilServed());
    ASSERT_TRUE(host.Choose(kKeysPhonebook));
    ASSERT_TRUE(e2e::WaitUntil([] { return StandinLinesOf("PvPhone.exe").size() == 1; }, kWaitMs));
    ASSERT_TRUE(host.Choose(kKeysPhonebookEntry));
    ASSERT_TRUE(e2e::WaitUntil([] { return StandinLinesOf("PvPhone.exe").size() == 2; }, kWaitMs));
    const auto lines = StandinLinesOf("PvPhone.exe");
    EXPECT_EQ(" /B", lines[0].substr(lines[0].size() - 3)) << lines[0];
    EXPECT_EQ("PvPhone.exe\"", lines[1].substr(lines[1].size() - 12)) << lines[1];

    RegistryValueSandbox name(HKEY_LOCAL_MACHINE, kSuiteKey, "QOVIPhonebookName");
    name.SetString("Missing.exe");
    ASSERT_TRUE(host.Choose(kKeysPhonebook));
    EXPECT_EQ("The send command could not complete the operation. The suite may not be installed correctly.",
              PressMessage(host));
    ASSERT_TRUE(host.Settled());
    EXPECT_EQ(2u, StandinLinesOf("PvPhone.exe").size());
}

// The menu bar as the screen shows it, between the caption and the client area.
std::vector<std::uint32_t> MenuBarPixels(HWND hWnd) {
    RECT rcWindow{}, rcClient{};
    GetWindowRect(hWnd, &rcWindow);
    GetClientRect(hWnd, &rcClient);
    MapWindowPoints(hWnd, nullptr, reinterpret_cast<POINT*>(&rcClient), 2);
    const RECT rcBar{rcClient.left, rcClient.top - GetSystemMetrics(SM_CYMENU), rcClient.right, rcClient.top};
    std::vector<std::uint32_t> pixels;
    e2e::CaptureScreen(rcBar, &pixels);
    return pixels;
}

// The lists as the controller publishes them to every process, with the
// hook's state: what a window created now is classified against.
std::string PublishedState() {
    const char* pszController = sizeof(void*) == 8 ? "x64\\pfcctl.exe" : "pfcctl.exe";
    return e2e::RunCommand("\"" + e2e::InstalledPath(pszController) + "\" --status", kWaitMs).output;
}

bool HostHooked(const Host& host) {
    DWORD_PTR dwAnswer = 0;
    SendMessageTimeoutA(host.Window(), host_report::kReportMessage, host_report::kAskIdentity, 0, SMTO_ABORTIFHUNG,
                        5000, &dwAnswer);
    return host_report::Hooked(static_cast<LRESULT>(dwAnswer));
}

// The configure command of a hooked host's popup, as a person uses it: the
// settings open in the host, and what is confirmed there reaches the host at
// once.
TEST_F(SendActionsE2E, SettingsFromTheHostsPopupApplyToTheHost) {
    enum class Change { kPictureOnly, kExcludeHost, kHookingOff };
    // Switching hooking off ends the controller: it comes last. Each host
    // is classified against the profile put back after the case before, once
    // the controller has published it again.
    const std::string published = PublishedState();
    for (Change change : {Change::kPictureOnly, Change::kExcludeHost, Change::kHookingOff}) {
        SCOPED_TRACE(static_cast<int>(change));
        ASSERT_TRUE(e2e::WaitUntil([&] { return PublishedState() == published; }, kWaitMs)) << PublishedState();
        e2e::ProfileBackup profile;
        Host host("PFCMENUHOST", "");
        ASSERT_TRUE(host.WaitUntilServed());
        ASSERT_TRUE(host.Settled());
        const std::vector<std::uint32_t> barBefore = MenuBarPixels(host.Window());
        ASSERT_TRUE(host.Choose(kKeysConfigure));
        HWND hDialog = e2e::WaitForSettingsDialog(host.Id(), kWaitMs);
        ASSERT_NE(hDialog, nullptr) << "the settings did not open in the host";
        switch (change) {
            case Change::kPictureOnly: {
                // The other form, chosen as a click on its radio button leaves it.
                const bool bPicture = IsDlgButtonChecked(hDialog, IDC_BITMAP_MENU) == BST_CHECKED;
                SendMessageA(GetDlgItem(hDialog, IDC_BITMAP_MENU), BM_SETCHECK, bPicture ? BST_UNCHECKED : BST_CHECKED, 0);
                SendMessageA(GetDlgItem(hDialog, IDC_TEXT_MENU), BM_SETCHECK, bPicture ? BST_CHECKED : BST_UNCHECKED, 0);
                e2e::PressSettingsButtons(hDialog, {IDOK});
                ASSERT_TRUE(e2e::WaitUntil([&] { return !IsWindow(hDialog); }, kWaitMs));
                ASSERT_TRUE(host.Settled());
                EXPECT_TRUE(HostHooked(host));
                EXPECT_TRUE(host.WaitUntilServed());
                EXPECT_TRUE(e2e::WaitUntil([&] { return MenuBarPixels(host.Window()) != barBefore; }, kWaitMs))
                    << "the send item kept its old form";
                break;
            }
            case Change::kExcludeHost: {
                HWND hInclude = GetDlgItem(hDialog, IDC_INCLUDE_LIST);
                SendMessageA(hInclude, LB_SELECTSTRING, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>("Sample hosts"));
                ASSERT_NE(SendMessageA(hInclude, LB_GETCURSEL, 0, 0), LB_ERR);
                e2e::PressSettingsButtons(hDialog, {IDC_MOVE_ONE_OUT, IDOK});
                EXPECT_TRUE(e2e::WaitUntil([&] { return !HostHooked(host); }, kWaitMs)) << "the host kept its hook";
                EXPECT_TRUE(e2e::HookMutexExists()) << "hooking stays on for the others";
                break;
            }
            case Change::kHookingOff:
                e2e::PressSettingsButtons(hDialog, {IDC_MOVE_ALL_OUT, IDOK});
                EXPECT_TRUE(e2e::WaitUntil([&] { return !HostHooked(host); }, kWaitMs)) << "the host kept its hook";
                EXPECT_TRUE(e2e::WaitUntil([] { return !e2e::HookMutexExists(); }, kWaitMs)) << "the hook stayed in";
                EXPECT_EQ(e2e::WaitForDialogWithText(host.Id(), 2000), nullptr) << "no restart is offered";
                break;
        }
        EXPECT_TRUE(host.Alive());
    }
}

}  // namespace
