// One program run over a scripted endpoint whose sessions exercise every binding
// rule; then the display, the buttons, notifications, the sink and the exit.
#include <mmdeviceapi.h>

#include <algorithm>

#include "driver/runs.h"

namespace driver {
namespace {

constexpr int SystemSounds = 0;
constexpr int NoProcessId = 1;
constexpr int NoControl2 = 2;
constexpr int Missing = 3;
constexpr int Bound = 4;
constexpr int SecondEligible = 5;
constexpr int SessionCount = 6;

constexpr LONG SlotOf(int session) { return e2e::SlotFirstSession + session; }

constexpr DWORD BoundProcessId = 4242;
constexpr float BoundVolume = 0.75f;

// A session identifier as Windows writes them, 600 units long, with break points for
// the panel's word wrap and a non-ASCII letter to go through DrawTextW.
std::wstring LongIdentifier() {
    std::wstring text =
        L"{0.0.0.00000000}.{4a5b0f2e-9d1c-4b7a-8e61-0c3d2f1a9b87}|\\Device\\HarddiskVolume3\\Program Files\\M\u00fcsic Player\\";
    while (text.size() < 560) text += L"Sound Test Folder\\";
    text += L"player.exe%b{00000000-0000-0000-0000-000000000000}";
    text.resize(600);
    return text;
}

e2e::Script MainScript() {
    e2e::Script script = OneDeviceScript();
    script.count = SessionCount;
    script.notifyMode = e2e::NotifyWhenReleased;
    script.sessions[SystemSounds] =
        EligibleSession(L"{0.0.0.00000000}.{...}|#%b{A9EF3FD9-4240-455E-A4D5-F2B3301887B2}", 0, 0.9f, FALSE, 1);
    script.sessions[SystemSounds].systemSoundsResult = S_OK;
    script.sessions[NoProcessId] = EligibleSession(L"{0.0.0.00000000}.{...}|\\Device\\gone.exe%b{1}", 99, 0.2f, FALSE, 1);
    script.sessions[NoProcessId].processIdResult = E_FAIL;
    script.sessions[NoControl2] = EligibleSession(L"{0.0.0.00000000}.{...}|\\Device\\old.exe%b{2}", 98, 0.3f, FALSE, 1);
    script.sessions[NoControl2].control2Result = E_NOINTERFACE;
    script.sessions[Missing].present = 0;
    script.sessions[Bound] = EligibleSession(LongIdentifier(), BoundProcessId, BoundVolume, 5, 1);
    script.sessions[Bound].processIdResult = NoSingleProcess;
    script.sessions[SecondEligible] = EligibleSession(L"{0.0.0.00000000}.{...}|\\Device\\second.exe%b{3}", 77, 0.1f, TRUE, 0);
    return script;
}

size_t CountOn(const std::vector<e2e::CallRecord>& records, e2e::Method method, int session) {
    return Only(records, method, SlotOf(session)).size();
}

bool AskedFor(const std::vector<e2e::CallRecord>& records, int session, const GUID& iid) {
    for (const e2e::CallRecord& record : Only(records, e2e::CallQueryInterface, SlotOf(session)))
        if (SameGuid(record.guid, iid)) return true;
    return false;
}

class MainRun {
public:
    explicit MainRun(const Settings& settings) : settings_(settings) {}

    void Go() {
        {
            Case c("main window: class, title, outer size 800x400, style, class style and brush");
            if (!run_.Start(settings_, MainScript(), c)) {
                started_ = false;
                return;
            }
            CheckMainWindow(c);
        }
        windowThread_ = run_.program.WindowThread();
        CheckButtons();
        CheckBindingRules();
        CheckDisplay();
        CheckClickRoad();
        CheckOtherButtons();
        CheckSwapMute();
        CheckForeignNotification();
        CheckStateNotifications();
        CheckSink();
        CheckUnknownCommands();
        CheckExit();
    }

    bool Started() const { return started_; }

private:
    void CheckMainWindow(Case& c) {
        HWND w = run_.window;
        char text[256] = {};
        GetClassNameA(w, text, sizeof text);
        c.Expect(lstrcmpA(text, MainWindowClass) == 0, "class \"%s\"", text);
        GetWindowTextA(w, text, sizeof text);
        c.Expect(lstrcmpA(text, MainWindowTitle) == 0, "title \"%s\"", text);
        RECT outer = {};
        GetWindowRect(w, &outer);
        c.Expect(outer.right - outer.left == 800 && outer.bottom - outer.top == 400, "outer size %ldx%ld", outer.right - outer.left,
                 outer.bottom - outer.top);
        LONG_PTR style = GetWindowLongPtrA(w, GWL_STYLE);
        // The system adds WS_CLIPSIBLINGS to every top-level window.
        c.Expect((style & ~static_cast<LONG_PTR>(WS_CLIPSIBLINGS)) == (WS_OVERLAPPEDWINDOW | WS_VISIBLE),
                 "style 0x%08llx, expected WS_OVERLAPPEDWINDOW|WS_VISIBLE", static_cast<unsigned long long>(style));
        ULONG_PTR classStyle = GetClassLongPtrA(w, GCL_STYLE);
        c.Expect(classStyle == (CS_HREDRAW | CS_VREDRAW), "class style 0x%llx, expected CS_HREDRAW|CS_VREDRAW",
                 static_cast<unsigned long long>(classStyle));
        // Wine does not tell another process's class brush (0); the background pixels
        // of the panel comparison still cover it there.
        ULONG_PTR brush = GetClassLongPtrA(w, GCLP_HBRBACKGROUND);
        c.Expect(brush == 0 || brush == COLOR_MENU + 1, "class background brush %llu, expected COLOR_MENU+1",
                 static_cast<unsigned long long>(brush));
        std::string stray = StrayWindows(run_.program);
        c.Expect(stray.empty(), "other windows shown: %s", stray.c_str());
    }

    void CheckButtons() {
        Case c("buttons: five push buttons with their class, text, identifier, place, size and style");
        struct Expected {
            const char* text;
            LONG_PTR id;
            RECT rect;
        } expected[] = {{"0", Volume0Command, {10, 160, 70, 190}},
                        {"0.25", Volume25Command, {80, 160, 140, 190}},
                        {"0.50", Volume50Command, {150, 160, 210, 190}},
                        {"1.00", Volume100Command, {220, 160, 280, 190}},
                        {"Swap Mute", SwapMuteCommand, {320, 160, 470, 190}}};
        std::vector<ChildWindow> children = Children(run_.window);
        c.Expect(children.size() == 5, "%zu child windows, expected 5", children.size());
        for (const Expected& want : expected) {
            const ChildWindow* found = nullptr;
            for (const ChildWindow& child : children)
                if (child.id == want.id) found = &child;
            if (!c.Expect(found != nullptr, "no child with identifier %lld", static_cast<long long>(want.id))) continue;
            c.Expect(lstrcmpiA(found->className.c_str(), "BUTTON") == 0, "button %lld has class \"%s\"",
                     static_cast<long long>(want.id), found->className.c_str());
            c.Expect(found->text == want.text, "button %lld reads \"%s\", expected \"%s\"", static_cast<long long>(want.id),
                     found->text.c_str(), want.text);
            c.Expect(EqualRect(&found->rect, &want.rect) != FALSE,
                     "button \"%s\" at (%ld,%ld)-(%ld,%ld), expected (%ld,%ld)-(%ld,%ld)", want.text, found->rect.left,
                     found->rect.top, found->rect.right, found->rect.bottom, want.rect.left, want.rect.top, want.rect.right,
                     want.rect.bottom);
            c.Expect(found->style == (WS_CHILD | WS_VISIBLE), "button \"%s\" style 0x%08llx, expected 0x50000000", want.text,
                     static_cast<unsigned long long>(found->style));
            c.Expect(found->exStyle == 0, "button \"%s\" extended style 0x%llx", want.text,
                     static_cast<unsigned long long>(found->exStyle));
        }
    }

    void CheckBindingRules() {
        std::vector<e2e::CallRecord> records = run_.channel.Records();
        std::vector<e2e::CallRecord> registered = Only(records, e2e::CallRegisterNotification);
        if (registered.size() == 1) sink_ = static_cast<UINT64>(registered[0].pointer);
        SinkImage image = {};
        bool imageRead = sink_ != 0 && run_.program.ReadSink(sink_, &image);

        {
            Case c("binding: the road to the sessions, on the window thread, with the documented arguments");
            std::vector<e2e::CallRecord> created = Only(records, e2e::CallCreateInstance);
            if (c.Expect(created.size() == 1, "%zu CreateInstance calls", created.size())) {
                c.Expect(SameGuid(created[0].guid, IidIMMDeviceEnumerator), "CreateInstance not for IMMDeviceEnumerator");
                c.Expect(created[0].pointer == 0, "CreateInstance with an outer object");
            }
            std::vector<e2e::CallRecord> endpoint = Only(records, e2e::CallGetDefaultAudioEndpoint);
            if (c.Expect(endpoint.size() == 1, "%zu GetDefaultAudioEndpoint calls", endpoint.size()))
                c.Expect(endpoint[0].integer == eRender && endpoint[0].integer2 == eMultimedia,
                         "GetDefaultAudioEndpoint(%ld, %ld), expected (eRender, eMultimedia)", endpoint[0].integer,
                         endpoint[0].integer2);
            std::vector<e2e::CallRecord> activate = Only(records, e2e::CallActivate);
            if (c.Expect(activate.size() == 1, "%zu Activate calls", activate.size())) {
                c.Expect(SameGuid(activate[0].guid, IidIAudioSessionManager2), "Activate not for IAudioSessionManager2");
                c.Expect(activate[0].integer == 0 && activate[0].pointer == 0,
                         "Activate with class context %ld and parameters %llx, expected 0 and null", activate[0].integer,
                         static_cast<unsigned long long>(activate[0].pointer));
            }
            std::vector<e2e::CallRecord> indexes = Only(records, e2e::CallGetSession);
            c.Expect(indexes.size() == SessionCount, "%zu GetSession calls, expected one per session (%d)", indexes.size(),
                     SessionCount);
            for (size_t i = 0; i < indexes.size(); ++i)
                c.Expect(indexes[i].integer == static_cast<LONG>(i), "GetSession call %zu asked for index %ld", i,
                         indexes[i].integer);
            for (const e2e::CallRecord& record : records)
                if (IsProgramCall(record))
                    c.Expect(record.threadId == windowThread_, "call %ld on thread %lu, not the window thread %lu", record.method,
                             record.threadId, windowThread_);
        }
        {
            Case c("binding: the system-sounds session is skipped before its process ID is asked for");
            c.Expect(CountOn(records, e2e::CallIsSystemSoundsSession, SystemSounds) == 1, "IsSystemSoundsSession not asked");
            c.Expect(CountOn(records, e2e::CallGetProcessId, SystemSounds) == 0, "GetProcessId asked");
            c.Expect(CountOn(records, e2e::CallGetSessionIdentifier, SystemSounds) == 0, "GetSessionIdentifier asked");
            c.Expect(CountOn(records, e2e::CallRegisterNotification, SystemSounds) == 0, "sink registered with it");
        }
        {
            Case c("binding: a session whose GetProcessId fails is skipped");
            c.Expect(CountOn(records, e2e::CallGetProcessId, NoProcessId) == 1, "GetProcessId not asked");
            c.Expect(CountOn(records, e2e::CallGetSessionIdentifier, NoProcessId) == 0, "GetSessionIdentifier asked");
            c.Expect(CountOn(records, e2e::CallRegisterNotification, NoProcessId) == 0, "sink registered with it");
            c.Expect(!AskedFor(records, NoProcessId, IidISimpleAudioVolume), "its ISimpleAudioVolume asked for");
        }
        {
            Case c("binding: sessions without IAudioSessionControl2 or without a session object are skipped");
            c.Expect(AskedFor(records, NoControl2, IidIAudioSessionControl2), "IAudioSessionControl2 not asked for");
            c.Expect(CountOn(records, e2e::CallIsSystemSoundsSession, NoControl2) == 0 &&
                         CountOn(records, e2e::CallRegisterNotification, NoControl2) == 0,
                     "the session without IAudioSessionControl2 was used further");
            c.Expect(run_.channel.EverReferenced(SlotOf(Missing)) == 0, "the missing session was handed out");
        }
        {
            Case c("binding: the first eligible session is bound, a later one only read");
            c.Expect(registered.size() == 1, "%zu RegisterAudioSessionNotification calls, expected 1", registered.size());
            c.Expect(CountOn(records, e2e::CallRegisterNotification, Bound) == 1, "the sink is not registered with session %d",
                     Bound);
            c.Expect(CountOn(records, e2e::CallGetSessionIdentifier, SecondEligible) == 1,
                     "the scan stopped before reading the later session's identifier");
            c.Expect(CountOn(records, e2e::CallRegisterNotification, SecondEligible) == 0 &&
                         !AskedFor(records, SecondEligible, IidISimpleAudioVolume),
                     "the later eligible session was bound too");
            c.Expect(run_.channel.Refs(SlotOf(Bound)) == 1, "the bound session holds %ld references, expected 1",
                     run_.channel.Refs(SlotOf(Bound)));
            c.Expect(run_.channel.Refs(SlotOf(SecondEligible)) == 0, "the later session is still referenced");
            c.Expect(run_.channel.Refs(e2e::SlotSessionEnumerator) == 0, "the session enumerator is still referenced");
            c.Expect(run_.channel.Refs(e2e::SlotDeviceEnumerator) == 0, "the device enumerator is still referenced");
            c.Expect(run_.channel.Refs(e2e::SlotDevice) == 1 && run_.channel.Refs(e2e::SlotSessionManager) == 1,
                     "endpoint and session manager hold %ld and %ld references, expected 1 each",
                     run_.channel.Refs(e2e::SlotDevice), run_.channel.Refs(e2e::SlotSessionManager));
            if (registered.size() == 1)
                c.Expect(registered[0].integer == 2, "the sink's AddRef at registration answered %ld, expected 2",
                         registered[0].integer);
        }
        {
            Case c("binding: AUDCLNT_S_NO_SINGLE_PROCESS makes a session eligible, its process ID kept");
            if (c.Expect(imageRead, "cannot read the program's sink at %llx", static_cast<unsigned long long>(sink_)))
                c.Expect(image.processId == BoundProcessId, "sink process ID %lu, expected %lu", image.processId, BoundProcessId);
            c.Expect(CountOn(records, e2e::CallRegisterNotification, Bound) == 1, "the session was not bound");
        }
        {
            Case c("binding: a 600-unit session identifier is kept as its first 511 units");
            if (c.Expect(imageRead, "cannot read the program's sink")) {
                std::wstring full = LongIdentifier();
                bool same = std::equal(full.begin(), full.begin() + 511, image.sessionId);
                c.Expect(same, "the first 511 units differ from the identifier given");
                c.Expect(image.sessionId[511] == 0, "unit 511 is %u, expected the terminator", image.sessionId[511]);
            }
        }
        {
            // Registered first, so that a change made while binding either is in what the
            // reads return or arrives as a notification.
            Case c("binding: the sink is registered before volume, mute and state are read");
            auto positionOf = [&](e2e::Method method) {
                for (size_t i = 0; i < records.size(); ++i)
                    if (records[i].method == method && records[i].slot == SlotOf(Bound)) return i;
                return records.size();
            };
            const size_t registeredAt = positionOf(e2e::CallRegisterNotification);
            c.Expect(registeredAt < records.size(), "the sink was not registered");
            for (e2e::Method read : {e2e::CallGetMasterVolume, e2e::CallGetMute, e2e::CallGetState}) {
                const size_t readAt = positionOf(read);
                c.Expect(readAt < records.size() && readAt > registeredAt, "call %ld at %zu, the registration at %zu",
                         static_cast<long>(read), readAt, registeredAt);
            }
        }
        {
            Case c("binding: GetMute answering 5 is taken as not muted, volume and state copied");
            std::vector<e2e::CallRecord> mute = Only(records, e2e::CallGetMute, SlotOf(Bound));
            c.Expect(mute.size() == 1 && mute[0].integer == 5, "GetMute not asked once");
            if (c.Expect(imageRead, "cannot read the program's sink")) {
                c.Expect(image.mute == 0, "sink mute %d, expected 0", image.mute);
                c.Expect(image.volume == BoundVolume, "sink volume %g, expected %g", image.volume, BoundVolume);
                c.Expect(image.state == 1, "sink state %d, expected 1", image.state);
                c.Expect(image.refCount == 2, "sink count %lu, expected 2 (the program's and the service's)", image.refCount);
            }
        }
        shown_.identifier = LongIdentifier().substr(0, 511);
        shown_.volume = BoundVolume;
        shown_.mute = 0;
        shown_.state = 1;
        shown_.processId = BoundProcessId;
    }

    void CheckDisplay() {
        Case c("display: captions, identifier panel and value row drawn as the reference drawing");
        ExpectPicture(c, settings_, run_.window, shown_, Region::Panel, "identifier panel");
        ExpectPicture(c, settings_, run_.window, shown_, Region::ValueRow,
                      "value row (Volume: 0.750, Mute: 0, Active, PUID: 4242)");
        // The comparison must tell one digit and one letter apart, or it proves nothing.
        ShownStatus nearly = shown_;
        nearly.volume = 0.751f;
        c.Expect(!ShowsNow(run_.window, nearly, Region::ValueRow, nullptr),
                 "the value row compares equal to Volume: 0.751 as well");
        nearly = shown_;
        nearly.identifier[1] = L'1';
        c.Expect(!ShowsNow(run_.window, nearly, Region::Panel, nullptr),
                 "the identifier panel compares equal to another identifier as well");
        if (!settings_.picturesDir.empty()) SavePictures(run_.window, shown_, settings_.picturesDir + "\\bound-session");
    }

    // Clicks a button and waits for the service to log the call it causes.
    bool ClickAndWait(Case& c, int controlId, e2e::Method method, e2e::CallRecord* call) {
        size_t before = Only(run_.channel.Records(), method).size();
        if (!c.Expect(Click(run_.window, controlId), "BM_CLICK to button %d failed", controlId)) return false;
        if (!c.Expect(WaitForCalls(run_.channel, method, before, CallTimeoutMs), "button %d caused no call %ld", controlId,
                      static_cast<long>(method)))
            return false;
        *call = Only(run_.channel.Records(), method)[before];
        c.Expect(call->threadId == windowThread_, "the call came from thread %lu, not the window thread", call->threadId);
        c.Expect(call->slot == SlotOf(Bound), "the call went to session object %ld", call->slot);
        c.Expect(!call->contextIsNull && IsNullGuid(call->guid), "the event context is %s",
                 call->contextIsNull ? "a null pointer" : "not all zero");
        if (context_ == 0) context_ = call->pointer;
        c.Expect(call->pointer == context_, "the event context is not the same object on every call");
        return true;
    }

    // Lets the service thread deliver what it holds; checks it came from that thread.
    bool Deliver(Case& c, float volume, int mute) {
        e2e::Mailbox answer = {};
        if (!c.Expect(run_.channel.Run(e2e::CommandReleaseHeld, Bound, 0, 0, &answer), "the service thread did not answer"))
            return false;
        c.Expect(answer.delivered == 1, "%ld notifications delivered, expected 1", answer.delivered);
        std::vector<e2e::CallRecord> sent = Only(run_.channel.Records(), e2e::SinkOnSimpleVolumeChanged);
        if (!c.Expect(!sent.empty(), "no OnSimpleVolumeChanged logged")) return false;
        const e2e::CallRecord& last = sent.back();
        c.Expect(last.threadId == answer.serviceThreadId && last.threadId != windowThread_,
                 "the notification did not come from the service thread");
        c.Expect(last.result == S_OK, "OnSimpleVolumeChanged answered 0x%08lx", static_cast<unsigned long>(last.result));
        c.Expect(static_cast<float>(last.number) == volume && last.integer == mute, "notified (%g, %ld), expected (%g, %d)",
                 last.number, last.integer, volume, mute);
        shown_.volume = volume;
        shown_.mute = mute;
        return true;
    }

    void CheckClickRoad() {
        {
            Case c(
                "click 0.25: SetMasterVolume(0.25, all-zero context) from the window thread; display waits for the notification");
            e2e::CallRecord call = {};
            if (ClickAndWait(c, Volume25Command, e2e::CallSetMasterVolume, &call)) {
                c.Expect(static_cast<float>(call.number) == 0.25f, "level %g", call.number);
                // Several timer periods: a program that painted its own request would show it by now.
                Sleep(300);
                std::string why;
                bool unchanged = ShowsNow(run_.window, shown_, Region::ValueRow, &why);
                c.Expect(unchanged, "the value row changed before any notification: %s", why.c_str());
            }
        }
        {
            Case c("click 0.25: the service thread's OnSimpleVolumeChanged shows Volume: 0.250");
            if (Deliver(c, 0.25f, 5)) ExpectPicture(c, settings_, run_.window, shown_, Region::ValueRow, "Volume: 0.250, Mute: 5");
        }
    }

    void CheckOtherButtons() {
        Case c("buttons 0, 0.50, 1.00: exact levels passed, each shown after its notification");
        const struct {
            int id;
            float level;
        } presses[] = {{Volume0Command, 0.0f}, {Volume50Command, 0.5f}, {Volume100Command, 1.0f}};
        for (const auto& press : presses) {
            e2e::CallRecord call = {};
            if (!ClickAndWait(c, press.id, e2e::CallSetMasterVolume, &call)) continue;
            c.Expect(static_cast<float>(call.number) == press.level, "button %d passed %g, expected %g", press.id, call.number,
                     press.level);
            if (Deliver(c, press.level, 5))
                ExpectPicture(c, settings_, run_.window, shown_, Region::ValueRow, Format("after button %d", press.id).c_str());
        }
    }

    void CheckSwapMute() {
        Case c("Swap Mute: decides from the last notified mute (5 -> FALSE, then 0 -> TRUE)");
        const struct { BOOL sent; } presses[] = {{FALSE}, {TRUE}};
        for (const auto& press : presses) {
            e2e::CallRecord call = {};
            if (!ClickAndWait(c, SwapMuteCommand, e2e::CallSetMute, &call)) continue;
            c.Expect(call.integer == press.sent, "SetMute(%ld), expected SetMute(%d)", call.integer, press.sent);
            if (Deliver(c, shown_.volume, press.sent))
                ExpectPicture(c, settings_, run_.window, shown_, Region::ValueRow, Format("Mute: %d", press.sent).c_str());
        }
    }

    // A change made by another client, delivered on the service's thread.
    bool Notify(Case& c, e2e::Command command, double number, LONG integer) {
        e2e::Mailbox answer = {};
        if (!c.Expect(run_.channel.Run(command, Bound, number, integer, &answer), "the service thread did not answer"))
            return false;
        c.Expect(answer.delivered == 1, "%ld notifications delivered, expected 1", answer.delivered);
        c.Expect(answer.serviceThreadId != windowThread_, "the service thread is the window thread");
        std::vector<e2e::CallRecord> records = run_.channel.Records();
        if (c.Expect(!records.empty(), "empty log"))
            c.Expect(records.back().result == S_OK, "the sink answered 0x%08lx", static_cast<unsigned long>(records.back().result));
        return true;
    }

    void CheckForeignNotification() {
        Case c("notification from another thread: volume 0.5 with mute 5 shows Volume: 0.500, Mute: 5");
        if (Notify(c, e2e::CommandNotifyVolume, 0.5, 5)) {
            shown_.volume = 0.5f;
            shown_.mute = 5;
            ExpectPicture(c, settings_, run_.window, shown_, Region::ValueRow, "Volume: 0.500, Mute: 5");
            ExpectPicture(c, settings_, run_.window, shown_, Region::Panel, "identifier panel untouched");
        }
    }

    void ExpectGone(Case& c, int gone, const char* when) {
        SinkImage image = {};
        if (c.Expect(run_.program.ReadSink(sink_, &image), "cannot read the program's sink"))
            c.Expect(image.sessionGone == gone, "%s: sessionGone %d, expected %d", when, image.sessionGone, gone);
    }

    void CheckStateNotifications() {
        Case c("state notifications: Expired, then 3 as no state, then Active; disconnection noted");
        const struct {
            LONG state;
            int gone;
            const char* text;
        } steps[] = {{2, 1, "Expired"}, {3, 1, "no state"}, {1, 0, "Active"}};
        for (const auto& step : steps) {
            if (!Notify(c, e2e::CommandNotifyState, 0, step.state)) return;
            shown_.state = step.state;
            if (ExpectPicture(c, settings_, run_.window, shown_, Region::ValueRow, step.text)) ExpectGone(c, step.gone, step.text);
        }
        if (Notify(c, e2e::CommandNotifyDisconnected, 0, 0)) {
            // Nothing on screen follows a disconnection; only the flag is kept.
            DWORD from = GetTickCount();
            SinkImage image = {};
            while (run_.program.ReadSink(sink_, &image) && image.sessionGone != 1 && GetTickCount() - from < CallTimeoutMs)
                Sleep(20);
            c.Expect(image.sessionGone == 1, "sessionGone %d after OnSessionDisconnected", image.sessionGone);
            std::string why;
            bool unchanged = ShowsNow(run_.window, shown_, Region::ValueRow, &why);
            c.Expect(unchanged, "value row changed: %s", why.c_str());
        }
    }

    void CheckSink() {
        Case c("sink across the DLL boundary: QueryInterface, AddRef/Release counts, quiet methods");
        e2e::Mailbox answer = {};
        if (!c.Expect(run_.channel.Run(e2e::CommandProbeSink, Bound, 0, 0, &answer), "the service thread did not answer")) return;
        const e2e::SinkProbe& p = answer.probe;
        if (!c.Expect(p.registeredSinks == 1, "%ld sinks registered", p.registeredSinks)) return;
        c.Expect(p.addRef == 3 && p.release == 2, "AddRef/Release answered %lu/%lu, expected 3/2", p.addRef, p.release);
        c.Expect(p.unknownResult == S_OK && p.unknownSame && p.unknownRelease == 2,
                 "QueryInterface(IUnknown): 0x%08lx, same object %ld, count after Release %lu",
                 static_cast<unsigned long>(p.unknownResult), p.unknownSame, p.unknownRelease);
        c.Expect(p.eventsResult == S_OK && p.eventsSame && p.eventsRelease == 2,
                 "QueryInterface(IAudioSessionEvents): 0x%08lx, same object %ld, count after Release %lu",
                 static_cast<unsigned long>(p.eventsResult), p.eventsSame, p.eventsRelease);
        c.Expect(p.otherResult == E_NOINTERFACE && p.otherNulled, "QueryInterface(IAudioSessionControl): 0x%08lx, nulled %ld",
                 static_cast<unsigned long>(p.otherResult), p.otherNulled);
        c.Expect(p.marshalResult == E_NOINTERFACE && p.marshalNulled, "QueryInterface(IMarshal): 0x%08lx, nulled %ld",
                 static_cast<unsigned long>(p.marshalResult), p.marshalNulled);
        c.Expect(p.nullOutResult == E_FAIL, "QueryInterface with a null out-pointer: 0x%08lx, expected E_FAIL",
                 static_cast<unsigned long>(p.nullOutResult));
        c.Expect(p.releaseToOne == 1 && p.releaseToZero == 0 && p.addRefToOne == 1 && p.addRefToTwo == 2,
                 "Release, Release, AddRef, AddRef answered %lu, %lu, %lu, %lu; expected 1, 0, 1, 2", p.releaseToOne,
                 p.releaseToZero, p.addRefToOne, p.addRefToTwo);
        c.Expect(p.displayNameResult == S_OK && p.iconPathResult == S_OK && p.channelVolumeResult == S_OK,
                 "OnDisplayNameChanged/OnIconPathChanged/OnChannelVolumeChanged answered 0x%08lx/0x%08lx/0x%08lx",
                 static_cast<unsigned long>(p.displayNameResult), static_cast<unsigned long>(p.iconPathResult),
                 static_cast<unsigned long>(p.channelVolumeResult));
        c.Expect(p.groupingResult == E_NOTIMPL, "OnGroupingParamChanged answered 0x%08lx, expected E_NOTIMPL",
                 static_cast<unsigned long>(p.groupingResult));
        c.Expect(run_.program.Running(), "the program ended after its sink's count reached 0");
        // The sink outlived its count reaching 0 and still takes notifications.
        if (Notify(c, e2e::CommandNotifyVolume, 1.0, 0)) {
            shown_.volume = 1.0f;
            shown_.mute = 0;
            ExpectPicture(c, settings_, run_.window, shown_, Region::ValueRow, "after the probe: Volume: 1.000, Mute: 0");
        }
    }

    void CheckUnknownCommands() {
        Case c("WM_COMMAND with identifiers 101 to 109 is swallowed without a call");
        size_t before = run_.channel.Records().size();
        for (WPARAM id = 101; id <= 109; ++id) {
            DWORD_PTR result = 1;
            bool sent = SendMessageTimeoutA(run_.window, WM_COMMAND, id, 0, SMTO_NORMAL, 10000, &result) != 0;
            c.Expect(sent && result == 0, "WM_COMMAND %llu answered %llu", static_cast<unsigned long long>(id),
                     static_cast<unsigned long long>(result));
        }
        std::vector<e2e::CallRecord> records = run_.channel.Records();
        c.Expect(records.size() == before, "%zu service calls followed", records.size() - before);
    }

    void CheckExit() {
        std::vector<e2e::CallRecord> records;
        {
            Case c("exit: WM_CLOSE ends the program with exit code 0 and every reference given back");
            records = ExpectCleanExit(c, run_);
        }
        {
            Case c("exit: the sink is unregistered on the window thread with the pointer that was registered");
            std::vector<e2e::CallRecord> unregistered = Only(records, e2e::CallUnregisterNotification);
            if (!c.Expect(unregistered.size() == 1, "%zu UnregisterAudioSessionNotification calls, expected 1",
                          unregistered.size()))
                return;
            const e2e::CallRecord& call = unregistered[0];
            c.Expect(static_cast<UINT64>(call.pointer) == sink_, "unregistered %llx, registered %llx",
                     static_cast<unsigned long long>(call.pointer), static_cast<unsigned long long>(sink_));
            c.Expect(call.result == S_OK && call.slot == SlotOf(Bound), "unregistered from session object %ld (0x%08lx)", call.slot,
                     static_cast<unsigned long>(call.result));
            c.Expect(call.integer == 1, "the sink's Release at unregistration answered %ld, expected 1", call.integer);
            c.Expect(call.threadId == windowThread_, "unregistered from thread %lu", call.threadId);
        }
    }

    const Settings& settings_;
    Run run_;
    bool started_ = true;
    DWORD windowThread_ = 0;
    UINT64 sink_ = 0;
    LONGLONG context_ = 0;
    ShownStatus shown_;
};

}  // namespace

void RunMainScript(const Settings& settings) {
    MainRun run(settings);
    run.Go();
}

}  // namespace driver
