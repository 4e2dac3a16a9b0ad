#pragma once
// Stills of the saves' icons for the rows of the lists: the first frame of
// each icon, drawn on our software device at the row's height, on a thread of
// its own so that a long listing never holds the window. The still reaches the
// window's thread through the mailbox.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include <QImage>

#include "control/ListRow.h"

class WindowMailbox;

class RowIconRenderer {
public:
    // show(side, slot, name, still) runs on the window's thread for every still drawn.
    using Show = std::function<void(ListSide, const std::string&, const std::string&, const QImage&)>;

    RowIconRenderer(WindowMailbox* mailbox, Show show);
    RowIconRenderer(const RowIconRenderer&) = delete;
    RowIconRenderer& operator=(const RowIconRenderer&) = delete;
    // Drops what was not drawn yet and waits for the still being drawn.
    ~RowIconRenderer();

    // savePath: a PS2 save folder or a PS1 save file on this machine.
    void Request(ListSide side, const std::string& slot, const std::string& name, const std::string& savePath,
                 uint32_t size);
    // The icon's first frame at size x size pixels, drawn on the calling thread;
    // a null image when there is nothing to draw.
    static QImage DrawStill(const std::string& savePath, uint32_t size);
    // The list was emptied: its stills not yet drawn are no longer wanted.
    void Forget(ListSide side);

private:
    struct Job {
        ListSide side;
        std::string slot;
        std::string name;
        std::string path;
        uint32_t size;
        uint64_t generation;
    };
    void Work();

    WindowMailbox* mailbox;
    Show show;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    uint64_t generations[2] = {0, 0};
    bool stopping = false;
    std::thread worker;
};
