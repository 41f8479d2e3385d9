#include "ui/about_box.h"
#include "ui/reader_guide.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QSvgRenderer>
#include <QTabWidget>

#include <gtest/gtest.h>

namespace puolukka {
namespace {

void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

QString allLabelText(QWidget* w)
{
    QString text;
    for (auto* label : w->findChildren<QLabel*>())
        text += label->text() + "\n";
    return text;
}

TEST(AboutBox, ShowsNameVersionWarningAndClosesWithOk)
{
    QPointer<FrmAbout> box;
    tieto_Click(box, nullptr);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->objectName(), "frmAbout");
    EXPECT_FALSE(box->isModal());
    EXPECT_TRUE(box->isVisible());
    const QString text = allLabelText(box);
    EXPECT_TRUE(text.contains("Puolukka"));
    EXPECT_TRUE(text.contains("1.0.0"));
    EXPECT_TRUE(text.contains("PIN"));
    EXPECT_TRUE(text.contains("takuuta"));
    auto* sysInfo = box->findChild<QPushButton*>("cmdSysInfo");
    ASSERT_NE(sysInfo, nullptr);
    EXPECT_EQ(sysInfo->isEnabled(), !FrmAbout::systemInfoTool().isEmpty());

    FrmAbout* first = box;
    tieto_Click(box, nullptr);
    EXPECT_EQ(box, first);
    box->findChild<QPushButton*>("cmdOK")->click();
    flushDeletes();
    EXPECT_FALSE(box);
}

TEST(ReaderGuide, HasItsTitleTextAndDrawings)
{
    QPointer<Form3> guide;
    valmistus_Click(guide, nullptr);
    ASSERT_TRUE(guide);
    EXPECT_EQ(guide->windowTitle(), "Kortinlukijan valmistusohjeet");
    EXPECT_TRUE(guide->isWindow());
    EXPECT_EQ(guide->findChild<QTabWidget*>("guideTabs")->count(), 4);
    for (const char* drawing : {":/guide/kytkentakaavio.svg", ":/guide/db9.svg", ":/guide/sim_koskettimet.svg"}) {
        QSvgRenderer renderer{QString(drawing)};
        EXPECT_TRUE(renderer.isValid()) << drawing;
    }
    guide->close();
    flushDeletes();
    EXPECT_FALSE(guide);
}

}  // namespace
}  // namespace puolukka
