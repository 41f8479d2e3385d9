#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <QSvgRenderer>
#include <QtWidgets>

#include <gtest/gtest.h>

#include "app/app.h"
#include "scripted_port.h"
#include "scripted_screen.h"
#include "ui/about_box.h"
#include "ui/config_screen.h"
#include "ui/contacts_import.h"
#include "ui/dispatch.h"
#include "ui/entry_dialog.h"
#include "ui/main_window.h"
#include "ui/phone_edit.h"
#include "ui/port_settings.h"
#include "ui/qt_screen.h"
#include "ui/reader_guide.h"
#include "ui/response_window.h"
#include "ui/terminal.h"
#include "ui/translations.h"

// Texts of the widgets shown as text when a test fails.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace puolukka::test {

namespace fs = std::filesystem;

inline void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

inline std::string fileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The program with all its windows' headers, over a scripted screen and port, with an empty folder of its own.
template <class Port = ScriptedPort>
struct AppTest : ::testing::Test {
    AppTest() { fs::remove_all(dir), fs::create_directories(dir); }
    ~AppTest() override { app.log.close(), fs::remove_all(dir); }

    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path dir = fs::temp_directory_path() / ("puolukka_ui_" + std::to_string(::getpid()) + "_" +
                                                info->test_suite_name() + "_" + info->name());
    VirtualClock clock;
    ScriptedScreen screen;
    Port port{clock};
    App app{screen, clock, port};
};

}  // namespace puolukka::test
