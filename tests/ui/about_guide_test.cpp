#include "ui_fixture.h"

namespace puolukka {
namespace {

TEST(AboutAndGuide, OpenModelessOnceAndClose)
{
    QPointer<FrmAbout> box;
    tieto_Click(box, nullptr);
    FrmAbout* first = box;
    tieto_Click(box, nullptr);  // a second click brings the same box forward
    ASSERT_TRUE(box && box == first);
    EXPECT_TRUE(box->isVisible() && !box->isModal());
    QString text;
    for (auto* label : box->findChildren<QLabel*>())
        text += label->text() + "\n";
    for (const char* part : {"Puolukka", PUOLUKKA_VERSION, "PIN", "takuuta", "CHANGELOG.md", "LICENSE"})
        EXPECT_TRUE(text.contains(part)) << part;

    QPointer<Form3> guide;
    valmistus_Click(guide, nullptr);
    ASSERT_TRUE(guide && guide->isVisible() && !guide->isModal());
    for (const char* drawing : {":/guide/kytkentakaavio.svg", ":/guide/db9.svg", ":/guide/sim_koskettimet.svg"})
        EXPECT_TRUE(QSvgRenderer(QString(drawing)).isValid()) << drawing;

    // The text ends just above the buttons: no empty band from measuring the labels unwrapped.
    box->layout()->activate();
    int textBottom = 0;
    for (auto* label : box->findChildren<QLabel*>())
        textBottom = std::max(textBottom, label->geometry().bottom());
    EXPECT_LT(box->findChild<QPushButton*>("cmdOK")->geometry().top() - textBottom, 30);
    // The guide fits the free area of its screen with room for a frame, and fits a 1024x768 screen at its smallest.
    const QRect area = guide->screen()->availableGeometry();
    EXPECT_TRUE(area.contains(guide->geometry())) << guide->width() << "x" << guide->height();
    EXPECT_LE(guide->height(), area.height() - 40);
    EXPECT_TRUE(guide->minimumSizeHint().width() <= 1024 - 60 && guide->minimumSizeHint().height() <= 768 - 60);

    box->findChild<QPushButton*>("cmdOK")->click();
    guide->close();
    test::flushDeletes();
    EXPECT_FALSE(box || guide);
}

// Standard buttons and file dialogs speak Finnish like the program's own texts.
TEST(QtTranslations, StandardButtonsAreFinnish)
{
    QTranslator finnish;
    ASSERT_TRUE(installQtFinnish(finnish)) << "qtbase_fi.qm missing: scripts/setup.sh installs qt6-translations-l10n";
    QDialogButtonBox box(QDialogButtonBox::Yes | QDialogButtonBox::No | QDialogButtonBox::Cancel);
    const QString texts = box.button(QDialogButtonBox::Yes)->text() + "|" + box.button(QDialogButtonBox::No)->text() +
                          "|" + box.button(QDialogButtonBox::Cancel)->text();
    QCoreApplication::removeTranslator(&finnish);
    EXPECT_EQ(texts, "&Kyllä|&Ei|Peru");
}

}  // namespace
}  // namespace puolukka
