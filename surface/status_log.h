// One outcome message at status level: status field 0 of the main window, and the batch log
// while a batch runs. The text is UTF-8 and is never used as a format.
#pragma once

#include <string>
#include <vector>

void log_status(const std::string& text);

// While it lives, the messages log_status is given on this thread are kept in `messages`
// instead of being logged: work done on a thread of its own tells them afterwards, in its turn,
// through tell_status. The toolkit's log is only for the main thread.
class HeldStatus {
public:
    explicit HeldStatus(std::vector<std::string>& messages);
    ~HeldStatus();
    HeldStatus(const HeldStatus&) = delete;
    HeldStatus& operator=(const HeldStatus&) = delete;

private:
    std::vector<std::string>* previous_;
};

// Logs each of the messages in turn.
void tell_status(const std::vector<std::string>& messages);
