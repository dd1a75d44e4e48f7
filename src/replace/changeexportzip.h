#pragma once

// A new zip archive written from its start to a file descriptor, for the
// workbook of a record of changes. An entry's content is streamed: it is
// cut into pieces that are deflated on worker threads, each piece on its
// own (no back-references across pieces, each ended on a byte boundary),
// so that pieces compress in parallel, a few at a time, in bounded memory,
// and their outputs joined in order are one deflate stream. Archive
// offsets past 4 GB get ZIP64 records; one entry must stay below 4 GB
// (the caller splits larger content over several entries).

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class ZipStreamWriter
{
public:
    explicit ZipStreamWriter(int fd);
    ~ZipStreamWriter();
    ZipStreamWriter(const ZipStreamWriter &) = delete;
    ZipStreamWriter &operator=(const ZipStreamWriter &) = delete;

    // An entry of its own, whole.
    bool addEntry(const QByteArray &name, const QByteArray &content, QString *error);

    // One entry at a time: begin, any number of writes, end.
    bool beginEntry(const QByteArray &name, QString *error);
    bool write(const char *data, size_t length, QString *error);
    // The bytes written into the current entry so far.
    quint64 entrySize() const { return m_entrySize; }
    bool endEntry(QString *error);

    // The central directory and the end records; once, after the last entry.
    bool finish(QString *error);

    struct Piece;
    struct Compressor;

private:
    struct Entry
    {
        QByteArray name;
        quint64 offset = 0;
        quint32 crc = 0;
        quint64 compressedSize = 0;
        quint64 size = 0;
    };
    bool submit(bool last, QString *error);
    // A worker thread: compresses pieces until the writer goes.
    void work();
    // Writes out finished pieces in order until at most keep are running.
    bool drain(size_t keep, QString *error);
    bool output(const char *data, size_t length, QString *error);
    bool flush(QString *error);
    bool patch(quint64 offset, const char *data, size_t length, QString *error);

    int m_fd;
    QByteArray m_buffer; // what goes to the file next
    quint64 m_position = 0; // of the end of what is written, buffer included
    std::vector<Entry> m_entries;
    bool m_inEntry = false;
    quint64 m_entrySize = 0;
    std::vector<char> m_piece; // the input of the next piece
    std::deque<std::shared_ptr<Piece>> m_running; // in order, not yet written
    std::vector<std::shared_ptr<Piece>> m_free; // written, their room kept
    size_t m_parallel; // pieces compressed at a time, and worker threads
    std::unique_ptr<Compressor> m_compressor; // for a last piece on this thread
    std::vector<std::thread> m_workers; // started as pieces need them
    std::mutex m_mutex; // over m_todo, m_stopping and each piece's done
    std::condition_variable m_wake, m_finished;
    std::deque<std::shared_ptr<Piece>> m_todo;
    bool m_stopping = false;
    quint16 m_time = 0, m_date = 0; // DOS form, of when the archive was started
};
