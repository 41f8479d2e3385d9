#include "ui/reader_guide.h"

#include <algorithm>

#include <QDialogButtonBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSvgRenderer>
#include <QTabWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

// The drawings live in a resource of this static library; it must be registered by hand.
static void initGuideResources() { Q_INIT_RESOURCE(reader_guide); }

namespace puolukka {

namespace {

// Width and height a window manager's frame and title bar may take around the window.
constexpr int kFrameRoom = 60;

// One drawing, scaled to the widget with its proportions kept.
class Drawing : public QWidget {
public:
    Drawing(const QString& resource, QWidget* parent) : QWidget(parent), m_renderer(resource, this)
    {
        setObjectName(QStringLiteral("drawing:") + resource.section('/', -1));
        setMinimumSize(m_renderer.defaultSize() / 2);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }
    QSize sizeHint() const override { return m_renderer.defaultSize(); }
    bool isValid() const { return m_renderer.isValid(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        QSizeF size = m_renderer.defaultSize();
        size.scale(QSizeF(this->size()), Qt::KeepAspectRatio);
        const QRectF target((width() - size.width()) / 2, (height() - size.height()) / 2, size.width(),
                            size.height());
        m_renderer.render(&painter, target);
    }

private:
    QSvgRenderer m_renderer;
};

const char* const kGuideHtml = R"(
<h2>Kortinlukijan valmistusohjeet</h2>
<p>Puolukka käyttää yksinkertaista sarjaportin kortinlukijaa. SIM-kortin ainoa
datalinja (I/O, kosketin C7) on kytketty sekä sarjaportin lähtevään (TxD) että
tulevaan (RxD) linjaan, joten jokainen lähetetty tavu palaa kaikuna ennen kortin
omaa vastausta. Kortti nollataan (reset, C2) RTS- tai DTR-linjalla, ja
kortintunnistimen kytkin näkyy DCD-linjalla. Kortin kello (C3) tulee
3,579545 MHz:n oskillaattorista: 3 579 545 / 372 &asymp; 9622 bit/s, joten
kortti puhuu sarjaportin 9600 bit/s:n nopeudella.</p>

<h3>Osaluettelo</h3>
<table border="1" cellspacing="0" cellpadding="3">
<tr><th>Tunnus</th><th>Osa</th><th>Huom.</th></tr>
<tr><td>IC1</td><td>MAX232 (tai MAX232A, ST232, HIN232) ja 16-nastainen kanta</td><td>RS-232-tasot &harr; 5 V</td></tr>
<tr><td>IC2</td><td>7805 tai 78L05, 5 V jänniteregulaattori</td><td></td></tr>
<tr><td>X1</td><td>kellokideoskillaattori 3,579545 MHz, 5 V (DIL-14 tai DIL-8)</td><td>nasta 8 lähtö, 14 +5 V, 7 maa</td></tr>
<tr><td>D1</td><td>BAT85 (Schottky) tai 1N4148</td><td>TxD &rarr; I/O</td></tr>
<tr><td>D2</td><td>1N4001</td><td>napaisuussuoja</td></tr>
<tr><td>R1, R2</td><td>10 k&Omega;, 0,25 W</td><td>I/O:n ja tunnistimen ylösvetovastukset</td></tr>
<tr><td>K1&ndash;K4</td><td>1 &micro;F 16 V (MAX232A:lle 100 nF)</td><td>varauspumppu</td></tr>
<tr><td>K5</td><td>330 nF keraaminen</td><td>regulaattorin tulo</td></tr>
<tr><td>K6&ndash;K8</td><td>100 nF keraaminen</td><td>regulaattorin lähtö, IC1:n ja X1:n käyttöjännite</td></tr>
<tr><td>S1</td><td>SIM-kortin pidike, jossa kortintunnistuskytkin</td><td>kytkin kiinni, kun kortti on paikallaan</td></tr>
<tr><td>J1</td><td>9-napainen D-liitin, naaras, ja kuori</td><td>PC:n sarjaporttiin tai USB-sarjasovittimeen</td></tr>
<tr><td>J2</td><td>DC-liitin ja verkkolaite 9&ndash;12 V, vähintään 100 mA</td><td></td></tr>
<tr><td>JP1</td><td>3-napainen piikkirima ja oikosulkupala</td><td>reset RTS:llä (1-2) tai DTR:llä (2-3)</td></tr>
<tr><td></td><td>reikälevy, johtimia, kotelo</td><td></td></tr>
</table>

<h3>Kytkentä lyhyesti</h3>
<ul>
<li><b>TxD</b> (J1 nasta 3) &rarr; IC1 R1IN (13); R1OUT (12) &rarr; D1:n katodi; D1:n anodi &rarr; kortin <b>I/O (C7)</b>.
    D1 päästää lähettimen vetämään I/O-linjan alas, mutta kortti voi itse vetää sen alas omalla vuorollaan.</li>
<li><b>I/O (C7)</b> &rarr; R1 (10 k&Omega;) +5 V:iin ja IC1 T1IN (11); T1OUT (14) &rarr; <b>RxD</b> (J1 nasta 2).
    Näin sekä lähetetyt tavut (kaiku) että kortin vastaus palaavat ohjelmalle.</li>
<li><b>RTS</b> (J1 nasta 7) tai <b>DTR</b> (nasta 4) JP1:n kautta &rarr; IC1 R2IN (8); R2OUT (9) &rarr; kortin <b>RST (C2)</b>.</li>
<li>Kortintunnistin S1 kytkee IC1:n T2IN:n (10) maahan kortin ollessa paikallaan (R2 10 k&Omega; +5 V:iin);
    T2OUT (7) &rarr; <b>DCD</b> (J1 nasta 1). Jos pidikkeen kytkin aukeaa kortin tullessa, vaihda S1 ja R2 keskenään.</li>
<li>X1:n lähtö (nasta 8) &rarr; kortin <b>CLK (C3)</b>.</li>
<li>+5 V &rarr; kortin <b>VCC (C1)</b>, IC1:n nasta 16 ja X1:n nasta 14; maa &rarr; kortin <b>GND (C5)</b>, IC1:n nasta 15,
    X1:n nasta 7 ja J1:n nasta 5. C4, C6 (VPP) ja C8 jätetään kytkemättä.</li>
<li>Käyttöjännite: J2 &rarr; D2 &rarr; IC2 (7805) &rarr; +5 V. Sarjaportin linjoista ei saa
    riittävästi virtaa piirille, oskillaattorille ja kortille, joten erillinen virtalähde on varmin.</li>
</ul>

<h3>Valmistus ja käyttöönotto</h3>
<ol>
<li>Juota ensin kannat, vastukset, diodit ja kondensaattorit. Tarkista diodien ja elektrolyyttien napaisuus.</li>
<li>Kytke käyttöjännite ilman piirejä ja mittaa, että kannan nastassa 16 ja kortin C1:ssä on 4,75&ndash;5,25 V.</li>
<li>Asenna IC1 ja X1 ja tee loput kytkennät kaavion mukaan. Pidä kellolinja CLK lyhyenä.</li>
<li>Aseta JP1: 1-2 (RTS) käyttää painiketta <i>ATR on CTS</i>, 2-3 (DTR) painiketta <i>ATR on DTR</i>.</li>
<li>Valitse ohjelman <i>Asetukset</i>-ikkunasta oikea Com-portti, 9600 bps, Parity Even, 8 databittiä, 1 stop-bitti
    ja Handshaking None. Tässä kytkennässä MAX232 kääntää reset-linjan (RTS päällä = kortti resetissä), joten
    Reset-valinnaksi sopii NOR; jos lukijasi reset-linja toimii päinvastoin, valitse INV.</li>
<li>Aseta kortti pidikkeeseen ja paina <i>ATR on CTS</i>: päätteeseen tulee kortin vastaus resetiin (ATR),
    esimerkiksi 3B&nbsp;&hellip; tai 3F&nbsp;&hellip;. Käänteisen konvention kortin ohjelma tunnistaa itse
    pariteettivirheestä, kun DCD kertoo kortin olevan paikallaan.</li>
</ol>

<h3>Huomioita</h3>
<ul>
<li>Vaihda kortti vain, kun ohjelma ei ole lähettämässä sille mitään.</li>
<li>Kolme väärää PIN-koodia peräkkäin lukitsee PIN-koodin ja kymmenen väärää PUK-koodia koko kortin.</li>
<li>Kortin käyttöjännite ei saa ylittää 5,5 V:a. Tarkista jännite aina ennen kortin asettamista.</li>
</ul>
<p>Piirrokset ovat seuraavilla välilehdillä.</p>
)";

}  // namespace

Form3::Form3(QWidget* parent) : QWidget(parent, Qt::Window)
{
    initGuideResources();
    setObjectName("Form3");
    setWindowTitle(QStringLiteral("Kortinlukijan valmistusohjeet"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* layout = new QVBoxLayout(this);
    auto* tabs = new QTabWidget(this);
    tabs->setObjectName("guideTabs");
    layout->addWidget(tabs);

    auto* text = new QTextBrowser(tabs);
    text->setObjectName("guideText");
    text->setHtml(QString::fromUtf8(kGuideHtml));
    tabs->addTab(text, QStringLiteral("Ohje ja osaluettelo"));
    tabs->addTab(new Drawing(QStringLiteral(":/guide/kytkentakaavio.svg"), tabs), QStringLiteral("Kytkentäkaavio"));
    tabs->addTab(new Drawing(QStringLiteral(":/guide/db9.svg"), tabs), QStringLiteral("Sarjaliitin DB9"));
    tabs->addTab(new Drawing(QStringLiteral(":/guide/sim_koskettimet.svg"), tabs), QStringLiteral("Kortin koskettimet"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("&Sulje"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
    layout->addWidget(buttons);

    // As large as the drawings like, but never larger than the screen's free area,
    // with room left for the window's frame and title.
    QSize wanted(1000, 760);
    if (const QScreen* where = screen()) {
        const QSize room = where->availableGeometry().size() - QSize(kFrameRoom, kFrameRoom);
        wanted = wanted.boundedTo(room).expandedTo(minimumSizeHint());
    }
    resize(wanted);
}

void valmistus_Click(QPointer<Form3>& guide, QWidget* parent)
{
    if (!guide) {
        guide = new Form3(parent);
        // Over the main window, but wholly on the screen.
        if (const QScreen* where = guide->screen()) {
            const QRect area = where->availableGeometry();
            QRect place(QPoint(), guide->size());
            place.moveCenter(parent ? parent->frameGeometry().center() : area.center());
            place.moveLeft(std::clamp(place.left(), area.left(), std::max(area.left(), area.right() + 1 - place.width())));
            place.moveTop(std::clamp(place.top(), area.top(), std::max(area.top(), area.bottom() + 1 - place.height())));
            guide->move(place.topLeft());
        }
    }
    guide->show();
    guide->raise();
    guide->activateWindow();
}

}  // namespace puolukka
