#include <gtest/gtest.h>

#include <thread>

#include "common/diagnostics.hpp"
#include "os/win/traffic_drop/drop_target_impl.hpp"
#include "os/win/traffic_drop/ole_text_drop_target.hpp"
#include "support/local_app_data.hpp"
#include "traffic_drop/fake_com_win.hpp"

namespace vth::win {
namespace {

using namespace std::string_literals;
using test::block;
using test::FakeDataObject;
using test::utf16;

struct EventLog {
    std::vector<std::string> lines;
    EventLog() {
        diag::set_sink([this](const diag::Event& e) {
            std::string line = e.message;
            for (const auto& f : e.fields) line += " " + f.name + "=" + f.value;
            lines.push_back(line);
        });
    }
    ~EventLog() { diag::set_sink({}); }
};

struct Target {
    std::shared_ptr<drop::DroppedTexts> texts = std::make_shared<drop::DroppedTexts>();
    std::shared_ptr<std::atomic<bool>> hovering = std::make_shared<std::atomic<bool>>(false);
    ComRef<IDropTarget> object = DropTarget_Impl::create(texts, hovering);
};

ULONG reference_count(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

TEST(DropTargetImpl, QueryInterfaceAndReferences) {
    Target target;
    IDropTarget* object = target.object.get();
    struct Row {
        const char* what;
        const IID* iid;
        HRESULT result;
    };
    const Row rows[] = {
        {"IUnknown", &IID_IUnknown, S_OK},
        {"IDropTarget", &IID_IDropTarget, S_OK},
        {"IDataObject", &IID_IDataObject, E_NOINTERFACE},
        {"IDropSource", &IID_IDropSource, E_NOINTERFACE},
    };
    for (const Row& row : rows) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(object->QueryInterface(*row.iid, &out), row.result) << row.what;
        if (row.result == S_OK) {
            EXPECT_EQ(out, static_cast<void*>(object)) << row.what;
            EXPECT_EQ(reference_count(object), 2u) << row.what;
            object->Release();
        } else {
            EXPECT_EQ(out, nullptr) << row.what;
        }
        EXPECT_EQ(reference_count(object), 1u) << row.what;
    }
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    // The object holds its shares of the queue and the flag until it goes.
    EXPECT_EQ(target.texts.use_count(), 2);
    target.object.reset();
    EXPECT_EQ(target.texts.use_count(), 1);
    EXPECT_EQ(target.hovering.use_count(), 1);
}

TEST(DropTargetImpl, HoverFlagAndOfferedEffect) {
    Target target;
    IDropTarget* object = target.object.get();
    FakeDataObject data;
    const POINTL point{10, 20};
    struct Row {
        const char* what;
        std::function<HRESULT(DWORD*)> call;
        DWORD offered;
        bool hovering;
        DWORD effect;
    };
    const Row rows[] = {
        {"enter", [&](DWORD* e) { return object->DragEnter(&data, MK_LBUTTON, point, e); },
         DROPEFFECT_MOVE, true, DROPEFFECT_COPY},
        {"over", [&](DWORD* e) { return object->DragOver(0, point, e); }, DROPEFFECT_NONE, true,
         DROPEFFECT_COPY},
        {"leave", [&](DWORD*) { return object->DragLeave(); }, DROPEFFECT_LINK, false,
         DROPEFFECT_LINK},
        {"enter without data", [&](DWORD* e) { return object->DragEnter(nullptr, 0, point, e); },
         DROPEFFECT_LINK, true, DROPEFFECT_COPY},
        {"drop without data", [&](DWORD* e) { return object->Drop(nullptr, 0, point, e); },
         DROPEFFECT_COPY, false, DROPEFFECT_NONE},
    };
    EventLog log;
    for (const Row& row : rows) {
        DWORD effect = row.offered;
        EXPECT_EQ(row.call(&effect), S_OK) << row.what;
        EXPECT_EQ(target.hovering->load(), row.hovering) << row.what;
        EXPECT_EQ(effect, row.effect) << row.what;
    }
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(object->DragEnter(&data, 0, point, nullptr), S_OK);
    EXPECT_EQ(object->Drop(nullptr, 0, point, nullptr), S_OK);
    EXPECT_TRUE(data.balanced());
    EXPECT_TRUE(data.requests.empty());
}

TEST(DropTargetImpl, DropQueuesReportsAndWritesTheInbox) {
    struct Row {
        const char* what;
        std::vector<test::Offer> offers;
        DWORD effect;
        std::vector<std::string> queued;
        std::string inbox;
        std::string event;
    };
    const Row rows[] = {
        {"browser link",
         {block(CF_UNICODETEXT, utf16("https://a.example/x") + "\0\0"s)},
         DROPEFFECT_COPY,
         {"https://a.example/x"},
         "https://a.example/x\n",
         "overlay received URL/text drop text=https://a.example/x"},
        {"shortcut word: queued, no inbox line",
         {block(CF_TEXT, "URL=intranet")},
         DROPEFFECT_COPY,
         {"intranet"},
         "",
         "overlay received URL/text drop text=intranet"},
        {"nothing usable",
         {block(CF_TEXT, "just words")},
         DROPEFFECT_NONE,
         {},
         "",
         "overlay drop parse failed error=drop does not contain URL or text (0x80040064)"},
    };
    for (const Row& row : rows) {
        test::LocalAppData local;
        Target target;
        target.hovering->store(true);
        FakeDataObject data;
        data.offers = row.offers;
        std::vector<bool> hovering_while_read;
        data.on_get_data = [&] { hovering_while_read.push_back(target.hovering->load()); };
        EventLog log;
        DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        EXPECT_EQ(target.object.get()->Drop(&data, MK_LBUTTON, POINTL{1, 2}, &effect), S_OK)
            << row.what;
        EXPECT_EQ(effect, row.effect) << row.what;
        EXPECT_EQ(std::vector<std::string>(target.texts->begin(), target.texts->end()), row.queued)
            << row.what;
        EXPECT_EQ(local.read("pending-tunnel-domains.txt"), row.inbox) << row.what;
        EXPECT_EQ(log.lines, std::vector<std::string>{row.event}) << row.what;
        EXPECT_FALSE(target.hovering->load()) << row.what;
        EXPECT_FALSE(hovering_while_read.empty()) << row.what;
        for (bool h : hovering_while_read) EXPECT_FALSE(h) << row.what;
        EXPECT_TRUE(data.balanced()) << row.what;
    }
}

// OLE state is per thread, so each registration runs on a thread of its own.
template <typename Body>
void on_fresh_thread(Body body) {
    std::thread thread(body);
    thread.join();
}

HWND create_window() {
    return CreateWindowExW(0, L"STATIC", L"vth drop test", WS_OVERLAPPED, 0, 0, 50, 50, nullptr,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
}

// True when the thread is an initialised single-threaded apartment.
bool in_sta() {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(hr)) CoUninitialize();
    return hr == RPC_E_CHANGED_MODE;
}

TEST(OleTextDropTarget, RegistersTakesTextsInOrderAndCleansUp) {
    EventLog log;
    on_fresh_thread([&] {
        test::LocalAppData local;
        HWND window = create_window();
        ASSERT_NE(window, nullptr);
        auto hovering = std::make_shared<std::atomic<bool>>(false);
        {
            auto target = OleTextDropTarget::register_on(window, hovering);
            ASSERT_TRUE(target) << target.error().text;
            EXPECT_TRUE(in_sta());
            EXPECT_EQ(target->take_text(), std::nullopt);
            for (const char* text : {"first.example", "second.example"}) {
                FakeDataObject data;
                data.offers = {block(CF_TEXT, text)};
                DWORD effect = DROPEFFECT_COPY;
                target->drop_target()->Drop(&data, 0, POINTL{}, &effect);
                EXPECT_EQ(effect, DWORD{DROPEFFECT_COPY});
            }
            EXPECT_EQ(target->take_text(), "first.example");
            EXPECT_EQ(target->take_text(), "second.example");
            EXPECT_EQ(target->take_text(), std::nullopt);
            EXPECT_EQ(local.read("pending-tunnel-domains.txt"), "first.example\nsecond.example\n");
        }
        EXPECT_FALSE(in_sta());
        {
            // Revoked: the window can be registered again.
            auto again = OleTextDropTarget::register_on(window, hovering);
            EXPECT_TRUE(again);
        }
        DestroyWindow(window);
    });
    ASSERT_GE(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0], "overlay OLE RegisterDragDrop ok");
}

TEST(OleTextDropTarget, FailuresLeaveOleAsItWas) {
    EventLog log;
    on_fresh_thread([&] {
        auto target = OleTextDropTarget::register_on(nullptr, nullptr);
        ASSERT_FALSE(target);
        EXPECT_NE(target.error().os_code, 0);
        EXPECT_FALSE(in_sta());
    });
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_TRUE(log.lines[0].starts_with("RegisterDragDrop failed error=")) << log.lines[0];

    log.lines.clear();
    on_fresh_thread([&] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        HWND window = create_window();
        auto target = OleTextDropTarget::register_on(window, nullptr);
        ASSERT_FALSE(target);
        EXPECT_EQ(target.error().os_code, static_cast<long>(RPC_E_CHANGED_MODE));
        DestroyWindow(window);
        CoUninitialize();
    });
    EXPECT_TRUE(log.lines.empty());
}

TEST(OleTextDropTarget, AlreadyInitialisedThreadKeepsItsOwnInitialisation) {
    on_fresh_thread([&] {
        ASSERT_EQ(OleInitialize(nullptr), S_OK);
        HWND window = create_window();
        {
            auto target = OleTextDropTarget::register_on(window, nullptr);
            ASSERT_TRUE(target) << target.error().text;
        }
        EXPECT_TRUE(in_sta());
        DestroyWindow(window);
        OleUninitialize();
        EXPECT_FALSE(in_sta());
    });
}

}  // namespace
}  // namespace vth::win
