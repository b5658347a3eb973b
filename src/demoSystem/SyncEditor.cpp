#include "demoSystem/SyncEditor.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "demoSystem/SyncProtocol.h"

namespace {

int64_t steadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void sayOnStderr(const std::string& line) {
  std::fprintf(stderr, "demoengine: %s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace

SyncEditor::SyncEditor(std::string host, uint16_t port, SyncTrackSet& tracks, Clock clock, Say say)
    : host_(std::move(host)),
      port_(port),
      tracks_(tracks),
      clock_(clock ? std::move(clock) : Clock(steadyMs)),
      say_(say ? std::move(say) : Say(sayOnStderr)) {}

// [SECTION] Connecting and letting go

void SyncEditor::attempt(int64_t now) {
  nextAttempt_ = now + kRetryMs;
  out_.clear();
  in_.clear();
  partialSince_ = -1;
  requested_ = 0;
  lastRow_ = -1;
  refused_.clear();
  if (!socket_.connect(host_, port_)) {
    lose("no sync editor at " + address() + " (" + socket_.error() + "); the demo plays on and connects when one is there");
    return;
  }
  stage_ = Stage::Connecting;
}

void SyncEditor::lose(const std::string& line) {
  socket_.close();
  stage_ = Stage::Idle;
  out_.clear();
  in_.clear();
  partialSince_ = -1;
  // One line per outage and reason: retries that find nobody (or the same wrong server)
  // say nothing more.
  if (line != lastSaid_) say_(line);
  lastSaid_ = line;
}

void SyncEditor::flush() {
  while (!out_.empty() && socket_.state() == platform::TcpClient::State::Connected) {
    const long sent = socket_.send(out_.data(), out_.size());
    if (sent < 0) {
      lose("the sync editor at " + address() + " went away (" + socket_.error() + "); connecting again every second");
      return;
    }
    if (sent == 0) break;
    out_.erase(0, static_cast<size_t>(sent));
  }
  if (out_.size() > kMaxPending)
    lose("the sync editor at " + address() + " does not read what the demo sends; connection closed");
}

bool SyncEditor::receive(int64_t now) {
  char buffer[16384];
  size_t taken = 0;
  while (taken < kReadBudget) {
    const long got = socket_.receive(buffer, sizeof buffer);
    if (got < 0) return false;
    if (got == 0) break;
    in_.append(buffer, static_cast<size_t>(got));
    taken += static_cast<size_t>(got);
    lastTraffic_ = now;
  }
  return true;
}

void SyncEditor::greet() {
  if (in_.size() < kSyncServerGreeting.size()) return;
  if (in_.compare(0, kSyncServerGreeting.size(), kSyncServerGreeting) != 0) {
    lose("the sync editor at " + address() + " answered with another greeting; connection closed, connecting again in a second");
    return;
  }
  in_.erase(0, kSyncServerGreeting.size());
  stage_ = Stage::Ready;
  lastSaid_.clear();
  say_("connected to the sync editor at " + address());
}

void SyncEditor::requestNewTracks() {
  // The editor numbers the tracks in the order they are asked for, which is the set's.
  for (; requested_ < tracks_.size(); ++requested_) {
    tracks_.giveToEditor(requested_);
    appendGetTrack(out_, tracks_[requested_].name());
  }
}

void SyncEditor::readCommands(SyncNews& news, int64_t now) {
  size_t at = 0;
  while (at < in_.size()) {
    SyncMessage message;
    size_t used = 0;
    std::string problem;
    const SyncRead read = readSyncCommand(reinterpret_cast<const uint8_t*>(in_.data()) + at, in_.size() - at,
                                          requested_, &message, &used, &problem);
    if (read == SyncRead::NeedMore) break;
    if (read == SyncRead::Malformed) {
      lose("the sync editor at " + address() + " sent " + problem + "; connection closed, connecting again in a second");
      return;
    }
    at += used;
    switch (message.command) {
      case SyncCommand::SetKey: {
        keysHeard_ = true;
        // One bad key is refused alone: closing the connection for it would only have the
        // editor send it again on the next connection, with every other key.
        std::string refused = message.refused ? message.refused : "";
        if (refused.empty() && !tracks_[message.track].setKey(message.key))
          refused = "the track holds " + std::to_string(SyncTrack::kMaxKeys) + " keys, the most a track holds";
        if (!refused.empty() && refused_.insert({message.track, message.key.row}).second)
          say_("the sync editor at " + address() + " keyed " + tracks_[message.track].name() + " at row " +
               std::to_string(message.key.row) + ": refused, " + refused);
        break;
      }
      case SyncCommand::DeleteKey: tracks_[message.track].deleteKey(message.key.row); break;
      case SyncCommand::SetRow:
        news.seek = true;
        news.row = message.key.row;
        lastRow_ = message.key.row;
        break;
      case SyncCommand::Pause:
        news.pauseChanged = true;
        news.pause = message.pause;
        break;
      case SyncCommand::SaveTracks: news.save = true; break;
      case SyncCommand::GetTrack: break;  // never read: the editor does not send it
    }
  }
  in_.erase(0, at);
  if (in_.empty()) {
    partialSince_ = -1;
  } else if (partialSince_ < 0) {
    partialSince_ = now;
  } else if (now - partialSince_ >= kPartialCommandMs) {
    lose("the sync editor at " + address() + " sent a truncated command; connection closed, connecting again in a second");
  }
}

// [SECTION] Every frame

SyncNews SyncEditor::poll() {
  SyncNews news;
  const int64_t now = clock_();
  if (stage_ == Stage::Idle && now >= nextAttempt_) attempt(now);
  if (stage_ == Stage::Connecting) {
    const platform::TcpClient::State state = socket_.poll();
    if (state == platform::TcpClient::State::Closed) {
      lose("no sync editor at " + address() + " (" + socket_.error() +
           "); the demo plays on and connects when one is there");
    } else if (state == platform::TcpClient::State::Connected) {
      stage_ = Stage::Greeting;
      out_.append(kSyncClientGreeting);
      lastTraffic_ = now;
    }
  }
  if (stage_ == Stage::Idle || stage_ == Stage::Connecting) return news;

  flush();
  if (stage_ == Stage::Idle) return news;
  // What came before the editor closed still counts: its last keys, a save.
  const bool open = receive(now);
  if (stage_ == Stage::Greeting) greet();
  if (stage_ == Stage::Ready) readCommands(news, now);
  if (!open && stage_ != Stage::Idle)
    lose("the sync editor at " + address() + " went away (" + socket_.error() + "); connecting again every second");
  if (stage_ == Stage::Ready) requestNewTracks();
  flush();
  return news;
}

void SyncEditor::tellRow(uint32_t row) {
  if (stage_ != Stage::Ready || lastRow_ == row) return;
  lastRow_ = row;
  appendSetRow(out_, row);
  flush();
}

SyncNews SyncEditor::settle(int64_t quietMs, int64_t maxMs) {
  SyncNews news;
  const int64_t start = clock_();
  settledWithAnswers_ = keysHeard_ = false;
  for (;;) {
    const SyncNews more = poll();
    if (more.seek) news.seek = true, news.row = more.row;
    if (more.pauseChanged) news.pauseChanged = true, news.pause = more.pause;
    news.save = news.save || more.save;
    const int64_t now = clock_();
    // Keys that came are answers, even from an editor that closed the connection after them.
    settledWithAnswers_ = keysHeard_;
    if (now - start >= maxMs) return news;
    // The editor is not there (the attempt failed): nothing to wait for.
    if (stage_ == Stage::Idle) return news;
    if (stage_ == Stage::Ready && now - lastTraffic_ >= quietMs) {
      settledWithAnswers_ = keysHeard_ || (requested_ == tracks_.size() && out_.empty());
      return news;
    }
    socket_.wait(static_cast<int>(std::min<int64_t>(10, maxMs - (now - start))));
  }
}

// [SECTION] Addresses

bool parseSyncAddress(const std::string& text, std::string* host, uint16_t* port) {
  std::string name = text;
  std::string portText;
  if (!name.empty() && name[0] == '[') {
    // [IPv6]:PORT
    const size_t close = name.find(']');
    if (close == std::string::npos) return false;
    if (close + 1 < name.size()) {
      if (name[close + 1] != ':') return false;
      portText = name.substr(close + 2);
      if (portText.empty()) return false;
    }
    name = name.substr(1, close - 1);
  } else {
    const size_t colon = name.rfind(':');
    if (colon != std::string::npos && name.find(':') == colon) {
      portText = name.substr(colon + 1);
      if (portText.empty()) return false;
      name = name.substr(0, colon);
    }
  }
  *host = name.empty() ? "localhost" : name;
  *port = kSyncDefaultPort;
  if (portText.empty()) return true;
  if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos) return false;
  const int value = std::stoi(portText);
  if (value < 1 || value > 65535) return false;
  *port = static_cast<uint16_t>(value);
  return true;
}
