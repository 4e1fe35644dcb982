// The modem dialogue's reply reading and classification, over whatever a modem (or
// the noise on its line) sends back. The first input byte steers the run:
//   bits 0..1 the operation: one exchange, the reset, the dial, the dial and hang-up;
//   bit 2     Escape is pressed at the k-th message pump, bit 3 the program is closing
//             from it on, with k in bits 4..7.
// The rest are the modem's replies, separated by 0x01: each command written is
// answered at once by the next one; with the replies used up the modem is silent.
#include <string>
#include <vector>

#include "config/Codepage.h"
#include "connection/Connectmodem.h"
#include "link/Plcbox.h"
#include "tests/fuzz/Fuzzcheck.h"
#include "tests/fuzz/Replyport.h"
#include "tests/support/Fakes.h"

namespace {

constexpr uint8_t ReplySeparator = 0x01;

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

void CheckExchange(int result, const std::string& reply) {
    FUZZ_CHECK((result >= ModemOk && result <= ModemTimeout) || result == ModemCancelled);
    FUZZ_CHECK(reply.size() <= MaxReplyLength);
    if (!reply.empty() && reply != "Escape...") {
        // A reply opens with its line end and closes with one, or fills the buffer.
        FUZZ_CHECK(IsLineEnd(reply.front()));
        FUZZ_CHECK(reply.size() == MaxReplyLength ||
                   (reply.size() >= 4 && IsLineEnd(reply.back())));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t control = data[0];
    FakeClock clock;
    ReplyPort port{clock};
    port.replies.emplace_back();
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == ReplySeparator) {
            port.replies.emplace_back();
        } else {
            port.replies.back().push_back(data[i]);
        }
    }

    bool stop = false;
    size_t writtenAtStop = 0;
    RecordingScreen screen{clock};
    const size_t pumpsBefore = control >> 4;
    screen.onPump = [&] {
        if (screen.pumps.size() <= pumpsBefore) {
            return;
        }
        if ((control & 4) && screen.pumps.size() == pumpsBefore + 1) {
            screen.escape = true;
        }
        if ((control & 8) && !stop) {
            stop = true;
            writtenAtStop = port.written.size();
        }
    };
    ModemLine line{&port, screen, clock, &stop, NoPollCap};

    int result = ModemOk;
    switch (control & 3) {
        case 0: {
            std::string reply;
            result = ModemExchange(line, "AT\r", reply, 1000);
            CheckExchange(result, reply);
            break;
        }
        case 1:
            result = ModemReset(line);
            FUZZ_CHECK(result != ModemNotConnected);
            break;
        default:
            result = ModemDial(line, "1 (234) 567", "AT&F^ATX3", 1, 2, 1);
            break;
    }
    FUZZ_CHECK(result >= 0 && result < static_cast<int>(ModemResultTexts.size()));
    // Once the program is closing, nothing more is sent but the hang-up.
    if (stop) {
        FUZZ_CHECK(port.written.size() == writtenAtStop);
    }
    if ((control & 3) == 3) {
        const size_t before = port.written.size();
        ModemHangUp(line);
        FUZZ_CHECK(port.written.substr(before) == "+++ath\r");
    }
    // The replies reach the status bar as text that the screen can show.
    for (const auto& [panel, text] : screen.panels) {
        std::string cp1251;
        FUZZ_CHECK(panel == 1 && ToCp1251(text, cp1251));
    }
    return 0;
}
