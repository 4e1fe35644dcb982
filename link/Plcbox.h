#pragma once
// The device link: request and response frames, their check sum, the half-duplex
// transceiver, and the result codes with their texts.
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/Comportfunctions.h"
#include "link/Linkclock.h"
#include "link/Screen.h"
#include "link/Transport.h"

inline constexpr uint8_t RequestStart = 204;  // 0xCC
inline constexpr uint8_t ResponseStart = 51;  // 0x33, the complement of the request's
inline constexpr uint8_t PreambleByte = 0xFF;
inline constexpr uint8_t TableExchange = 29;  // the one function code the engine builds
inline constexpr uint8_t AcceptedBit = 0x80;  // set in the echoed function code
inline constexpr size_t FrameOverhead = 6;    // start, address, length, code, check sum
inline constexpr size_t MaxFrameLength = 255;
inline constexpr size_t MaxDataLength = MaxFrameLength - FrameOverhead;
inline constexpr int32_t WriteFirstByteExtension = 7000;  // ms: a device writes its memory
inline constexpr int StatusExchangePanel = 2;
inline constexpr std::chrono::nanoseconds DefaultPollWait = std::chrono::milliseconds(10);
inline constexpr std::chrono::nanoseconds NoPollCap = std::chrono::hours(1);

// Data of a table exchange request: a read run and a write run of one table each;
// a count of 0 means that half is not done. Values to write follow it.
struct TableExchangeHeader {
    uint8_t ReadTable = 0;
    uint8_t ReadFirstField = 0;
    uint8_t ReadFieldCount = 0;
    uint8_t WriteTable = 0;
    uint8_t WriteFirstField = 0;
    uint8_t WriteFieldCount = 0;
};
static_assert(sizeof(TableExchangeHeader) == 6);
inline constexpr size_t ResponseValuesOffset = 7;  // field values of a read, after the echo

// Result codes that the link sets; their texts are ResultTexts.
enum ResultCodes : int32_t {
    ResultOk = 0,
    ResultBadStart = 1,
    ResultBadFunction = 2,
    ResultWriteFailed = 3,
    ResultIncomplete = 5,
    ResultCheckSum = 7,
    ResultRefused = 8,
    ResultNoAnswer = 10,
    ResultBadLength = 11,
    ResultValve = 12,
    ResultLinkFault = 13,  // the port or the connection refused a call: LinkFailure says why
    ResultStopped = 19,
};

inline constexpr int DeviceErrorDestroyedTable = 60;
inline constexpr int DeviceErrorValve = 24;

extern const std::array<const char*, 20> ResultTexts;
// Index = the device's error code, 1..64; entry 0 has no text.
extern const std::array<const char*, 65> DeviceErrorTexts;
extern const char ExchangeStatusText[];
inline constexpr char LinkFaultPrefix[] = "Сбой связи: ";
// Over a network, beyond the line time and the round trip: what a converter's packing and
// the network's own delays may add to an answer.
inline constexpr int32_t NetworkMarginMs = 500;

// CRC-16/MODBUS of the first count bytes; a frame with its own check sum gives 0.
uint16_t FrameCheckSum(const uint8_t* data, uint16_t count);

// Lays out a frame (start symbol, address, length, function code, data, check sum low
// byte first) at out, which holds at least MaxFrameLength bytes. Returns the frame
// length, or 0 when the data does not fit in one frame.
size_t BuildFrame(uint8_t start, uint8_t address, uint8_t functionCode, const uint8_t* data,
                  size_t length, uint8_t* out);

// The search for a frame in the bytes that arrive, byte by byte: the receiver of the engine
// and the decoder of the exchange trace both frame with it, so that what the trace says
// of a run of bytes is what the receiver made of it. Noise before the start symbol is
// dropped; a frame for another address or with a length byte below 6 starts the search
// anew, and a second start symbol takes the place of the first.
class FrameSync {
public:
    FrameSync(uint8_t start, uint8_t address) : start_(start), address_(address) {}
    // Stores byte at frame[Accepted()] (frame holds 256 bytes) and decides on it; true
    // when the frame is complete, its length byte's count of bytes at frame[0]. Not fed
    // again after that.
    bool Take(uint8_t byte, uint8_t* frame);
    int Accepted() const { return count_; }
    // Start symbol and address are in: from here the gap between bytes is timed.
    bool Started() const { return count_ >= 2; }
    // Where the frame being received began among the bytes taken.
    size_t FrameBegin() const { return begin_; }
    // The result of a response that ends here, short of a complete frame.
    int32_t UnfinishedResult() const;

private:
    uint8_t start_;
    uint8_t address_;
    int count_ = 0;
    size_t taken_ = 0;
    size_t begin_ = 0;
};

// The checks of a complete response to a request with requestCode: its check sum, then
// the echo of the function code with bit 7 set. ResultOk, ResultCheckSum, or the
// refusal's result (ResultValve for the valve's error, else ResultRefused).
int32_t CheckResponse(const uint8_t* frame, uint8_t requestCode);
// The device's error code in the data of a refusal (frame byte 4 on); 0 when it has none.
int RefusalError(const uint8_t* data, size_t length);

class ExchangeTrace;

// What a command's request did on the device's side, as far as the program can know:
// a request that went out whole and got no sound answer may have been carried out.
// Ordered by what is known: a later attempt can only add knowledge.
enum class RequestFate { NotSent, Refused, Unconfirmed, Confirmed };

// The one protocol engine: every exchange with the device passes through it.
// Not re-entrant: whoever starts a command keeps the operator from starting another.
struct LinkEngine {
    explicit LinkEngine(uint8_t deviceAddress);

    std::array<uint8_t, 256> RequestBuffer{};
    std::array<uint8_t, 256> ResponseBuffer{};
    // Lent by the device connection that owns it, for as long as it is open.
    Transport* Port = nullptr;
    uint8_t DeviceAddress;
    int32_t BaudRate = 1200;          // bit/s
    uint8_t PreambleCount = 0;        // 0xFF bytes before the frame
    int32_t NextByteTimeout = 10;     // ms, longest gap between response bytes
    int32_t FirstByteTimeout = 2000;  // ms, from the moment RTS drops
    int32_t RtsPause = 2;             // ms between raising RTS and sending
    uint8_t Attempts = 2;             // per command, at least 1 runs
    int32_t ResultCode = ResultOk;
    Screen* Ui = nullptr;  // message pump and status bar; none in a bare engine
    // Longest wait between two message pumps; a program without messages to run (the
    // terminal) waits for the next byte or the deadline alone.
    std::chrono::nanoseconds MaxPollWait = DefaultPollWait;
    int StatusPanel = -1;     // panel that shows "Обмен..." during a command; -1 none
    uint64_t TimerFrequency;  // counts per second of Clock
    std::string MessageText;  // the composed text of result 8
    std::string LinkFailure;  // why the transport failed the last call that failed
    // How late RTS dropped after the last stop bit of the last request (serial links).
    LinkDuration RtsDropError{};
    uint8_t CommandCode = 0;
    LinkClock* Clock;
    // The program is closing: a command under way ends at its next wait with result 19,
    // and no frame goes out after it.
    bool StopRequested = false;
    // Where the exchange monitor and the trace files learn that a command starts; none
    // while no trace is asked for.
    ExchangeTrace* Trace = nullptr;
    // The request of the last command, over all its attempts.
    RequestFate Fate = RequestFate::NotSent;

    // Builds the request (function code 29 only) and runs up to Attempts exchanges.
    bool ExecuteCommand(uint8_t functionCode, const uint8_t* data, size_t length);
    // One attempt: the whole line sequence and the response checks.
    bool Transceive(size_t frameLength);
    // Turns the data of a refusal (frame byte 4 on) into the result and its text.
    void DecodeRefusal(const uint8_t* data, size_t length);
    // "Команда N.  text" of the last command, for the status bar after a failure.
    std::string CommandSummary() const;
    std::string ResultText() const;

private:
    LinkDuration Ticks(int64_t milliseconds) const;
    // What the last attempt's request did; delivered: it went out whole.
    RequestFate AttemptFate(bool delivered) const;
    // Lets messages run; false when the program has asked to stop meanwhile.
    bool PumpMessages();
    void ShowExchangeStatus(const char* text);
    // Takes the answer to a request sent at `sent`; its first byte is due FirstByteTimeout
    // after firstByteFrom (RTS dropped, or over a network the request's line time and the
    // round trip).
    void ReceiveResponse(LinkTime sent, LinkTime firstByteFrom);
    // False with ResultCode and LinkFailure set when status is a failure.
    bool LinkCall(const LinkStatus& status);
    // Writes the request whole; false with the cause kept where it does not go.
    bool Send(const uint8_t* data, size_t count);
    // RTS up, its pause, the request, and RTS down one byte time after its last bit, when
    // dropped is taken; false where a call fails.
    bool SendHoldingRts(const uint8_t* data, size_t count, LinkDuration lineTime, int32_t rate,
                        LinkTime& dropped);
    LinkDuration RoundTripTicks() const;

    bool delivered_ = false;  // the last attempt's request went out whole
};
