#include "support/EndToEnd.h"

#include <QTest>

#include "support/EventLoop.h"
#include "support/Windows.h"

namespace tavoro::test {

void EndToEnd::SetUp() {
    ASSERT_TRUE(host_.started());
    ASSERT_TRUE(server_.started());
}

void EndToEnd::TearDown() {
    EXPECT_TRUE(dialogs_.asked().empty()) << dialogs_.unexpected().join("; ").toStdString();
}

void EndToEnd::SimulatorSays(std::initializer_list<const char*> commands) {
    for (const char* command : commands) {
        ASSERT_EQ(host_.Command(command), "ok") << command;
    }
}

void EndToEnd::MakeProgramFolder(int report_interval_ms, const std::string& extra) {
    folder_ = std::make_unique<ProgramFolder>(server_.port(), report_interval_ms, extra);
}

std::unique_ptr<App> EndToEnd::MakeApp() {
    if (!folder_) {
        MakeProgramFolder(1000);
    }
    return folder_->MakeApp(host_, dialogs_, timers_);
}

std::unique_ptr<App> EndToEnd::StartApp() {
    auto app = MakeApp();
    app->Start();
    return app;
}

void EndToEnd::LogIn(App& app) {
    QTest::mouseClick(mainWindow().Panel_server, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return app.test_view().link.logged_in(); }));
}

TForm1& EndToEnd::mainWindow() {
    return TheWindow<TForm1>("Form1");
}

TForm_objet& EndToEnd::objectWindow() {
    return TheWindow<TForm_objet>("Form_objet");
}

LiveTimers::LiveTimer& EndToEnd::timer(const char* name) {
    LiveTimers::LiveTimer* found = timers_[name];
    EXPECT_NE(found, nullptr) << name;
    return *found;
}

}  // namespace tavoro::test
