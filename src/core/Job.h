// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Where the command file being run stands, as the printer may have seen it:
// what the crash-safe note (RunningFile) keeps.
struct RunningRecord {
    enum class Stage {
        Taken,   // "preso": about to be moved into IN; nothing sent yet
        Sale,    // a sale or an N1 is about to run: a document may be open
        Payment, // an F4, N3 or Z1 is about to run: the document may have closed
        Done,    // every record that was going to run has run
        Failed,  // a record failed and its failure is on file; nothing more runs
    };

    std::string name;
    bool fiscal = false;    // a fiscal receipt may be (or, at Taken, will be) open
    bool nonFiscal = false; // a non-fiscal document may be (or will be) open
    Stage stage = Stage::Taken;

    bool operator==(const RunningRecord&) const = default;
};

// One command file the bridge deals with, from the moment it is taken to its
// outcome. The bridge makes it, the interpreter runs it, and the error
// handler files every record under it: the log and the reference a record
// gets come from the job's name and kind, nowhere else.
struct Job {
    enum class Kind { NotFiscal, Fiscal };
    // In order of weight: an outcome only ever moves down the list (a file
    // discarded unexecuted is that, whatever else was said of it).
    enum class Outcome {
        Run,       // every record that was going to run, ran
        NotRun,    // it asked nothing of the printer (empty, unknown first code)
        Failed,    // a failure was reported while it ran
        Discarded, // not executed because an error stood
    };

    std::string name;
    Kind kind = Kind::NotFiscal;
    // What the note says of the job; the bridge keeps it up to date.
    RunningRecord note;
    Outcome outcome = Outcome::Run;

    bool fiscal() const { return kind == Kind::Fiscal; }
    void settle(Outcome reached) { outcome = std::max(outcome, reached); }
};

// Tells any number of subscribers of each job taken and of each job done
// with (its outcome settled). A subscription ends when its handle goes,
// whether the feed is still there or not.
class JobFeed {
    struct Entry;

public:
    struct Subscriber {
        std::function<void(const Job&)> taken; // may be empty
        std::function<void(const Job&)> done;  // may be empty
    };

    class Subscription {
    public:
        Subscription() = default;
        Subscription(Subscription&& other) noexcept { *this = std::move(other); }
        Subscription& operator=(Subscription&& other) noexcept
        {
            end();
            m_list = std::move(other.m_list);
            m_id = other.m_id;
            other.m_list.reset();
            return *this;
        }
        ~Subscription() { end(); }
        void end()
        {
            if (const auto list = m_list.lock())
                std::erase_if(*list, [this](const Entry& entry) { return entry.id == m_id; });
            m_list.reset();
        }

    private:
        friend class JobFeed;
        std::weak_ptr<std::vector<Entry>> m_list;
        int m_id = 0;
    };

    [[nodiscard]] Subscription subscribe(Subscriber subscriber)
    {
        Subscription subscription;
        subscription.m_id = ++m_lastId;
        subscription.m_list = m_subscribers;
        m_subscribers->push_back({m_lastId, std::move(subscriber)});
        return subscription;
    }

    void taken(const Job& job) const { tell(job, &Subscriber::taken); }
    void done(const Job& job) const { tell(job, &Subscriber::done); }

private:
    struct Entry {
        int id;
        Subscriber subscriber;
    };

    void tell(const Job& job, std::function<void(const Job&)> Subscriber::*event) const
    {
        // By index, and each handler copied before it runs: a subscriber
        // may end its own subscription while it is told.
        for (std::size_t i = 0; i < m_subscribers->size(); ++i)
            if (const auto handler = (*m_subscribers)[i].subscriber.*event)
                handler(job);
    }

    std::shared_ptr<std::vector<Entry>> m_subscribers = std::make_shared<std::vector<Entry>>();
    int m_lastId = 0;
};
