#include "link/line_events.h"

#include "app/app.h"
#include "link/exchange.h"
#include "link/reset.h"

namespace puolukka {

namespace {

// A parity error while the carrier is on: even parity goes with the direct
// convention and odd parity with the inverse one, so flip both, reopen the
// port and repeat the last reset without showing its answer-to-reset.
void switchConvention(App& app)
{
    SerialPort& port = app.port;
    // A reader that decodes the convention itself has no parity to switch.
    if (port.deliversLogicalBytes()) {
        app.ErrorText.clear();
        return;
    }
    port.clearInBuffer();
    if (!port.cdHolding()) {
        app.ErrorText.clear();
        return;
    }
    setConvention(app, app.settings.Parity == "E");
    app.ErrorText.clear();

    void (*reset)(App&) = app.card.ResetMethod == 1 ? Command1_Click
                          : app.card.ResetMethod == 2 ? Command2_Click
                                                      : nullptr;
    if (reset) {
        app.card.ShowInTerminal = 0;
        reset(app);
        app.card.ShowInTerminal = 1;
    }
}

void receive(App& app)
{
    app.clock.sleepMs(75);
    if (app.port.inBufferCount() <= 0)
        return;
    std::string chunk = app.port.input();
    if (!chunk.empty())
        ShowAnswer(app, chunk);
}

}  // namespace

void setConvention(App& app, bool inverse)
{
    SerialPort& port = app.port;
    app.settings.Parity = inverse ? "O" : "E";
    port.setSettings(portParameterText(app.settings));
    app.screen.setText("ParStat2", inverse ? "ODD" : "EVEN");
    port.setPortOpen(false);
    app.clock.sleepMs(100);
    port.setPortOpen(true);
    app.card.InverseConvention = inverse ? 1 : 0;
    app.screen.setText("SimConv1", inverse ? "INVERSE" : "NORMAL");
}

void OnComm(App& app, int commEvent)
{
    // The texts belong to the codes as listed, also where they name another condition.
    switch (commEvent) {
    case comm_event::Send:
        break;
    case comm_event::Receive:
        receive(app);
        break;
    case comm_event::Cts:
        app.EventText = "CTS change detected";
        break;
    case comm_event::Dsr:
        app.EventText = "DSR change detected";
        break;
    case comm_event::Cd:
        // A card was put in or taken out: it may not be the one read before, and
        // a card pushed in answers nothing before a reset (ISO 7816-3 6.2), nor
        // keeps the PIN1 it was given. The next card operation resets it.
        ++app.card.CardSession;
        app.card.CardReady = 0;
        app.EventText = "CD change detected";
        break;
    case comm_event::Ring:
        app.EventText = "Ringing";
        break;
    case comm_event::Eof:
        app.EventText = "End Of File detected";
        break;
    case comm_event::Break:
        app.port.clearInBuffer();
        app.EventText = "Pause received";
        break;
    case comm_event::CtsTimeout:
        app.ErrorText = "CTS timeout";
        break;
    case comm_event::DsrTimeout:
        app.ErrorText = "DSR timeout";
        break;
    case comm_event::Frame:
        app.port.clearInBuffer();
        app.EventText = "CD Error";
        break;
    case 1005:
        app.ErrorText = "Baud rate Error";
        break;
    case comm_event::Overrun:
        app.ErrorText = "CD timeout";
        break;
    case comm_event::CdTimeout:
        app.ErrorText = "RX Buffer overflow";
        break;
    case comm_event::RxOver:
        app.ErrorText = "Parity Error !";
        break;
    case comm_event::RxParity:
        switchConvention(app);
        return;
    default:
        app.ErrorText = "Unkown Event or Error";
        break;
    }

    if (!app.EventText.empty()) {
        app.screen.setText("Label1", app.EventText);
        app.EventText.clear();
    } else if (!app.ErrorText.empty()) {
        app.screen.beep();
        const MessageBox box{app.ErrorText, "Click Cancel to Quit, or OK to ignore.", Buttons::OkCancel,
                             Icon::None, Answer::Ok};
        const Answer answer = app.screen.messageBox(box);
        app.ErrorText.clear();
        if (answer == Answer::Cancel)
            app.port.setPortOpen(false);
    }
}

void pollPort(App& app)
{
    // One answer-to-reset read with the wrong parity raises a burst of parity
    // errors; switching once per burst keeps the next one from switching back.
    bool parityHandled = false;
    for (int code : app.port.pollEvents()) {
        if (code == comm_event::RxParity) {
            if (parityHandled)
                continue;
            parityHandled = true;
        }
        OnComm(app, code);
    }
}

}  // namespace puolukka
