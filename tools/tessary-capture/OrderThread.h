#pragma once

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// A thread of its own that carries out orders one after another, while the
// thread that made it goes on with its event loop; each result comes back
// in order on that thread, through its event loop.
template<typename Order, typename Result> class OrderThread {
public:
    explicit OrderThread(std::function<Result(Order)> carryOut)
        : m_carryOut(std::move(carryOut)), m_thread([this] { run(); })
    { }
    // Orders not yet begun are dropped; the one under way is finished.
    ~OrderThread()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
            m_orders.clear();
        }
        m_wake.notify_one();
        m_thread.join();
    }
    OrderThread(const OrderThread &) = delete;
    OrderThread &operator=(const OrderThread &) = delete;

    void add(Order order)
    {
        ++m_pending;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_orders.push_back(std::move(order));
        }
        m_wake.notify_one();
    }
    // Orders handed in whose results have not come back yet.
    bool busy() const { return m_pending > 0; }

    std::function<void(const Result &)> onDone;
    // The last result has come back.
    std::function<void()> onIdle;

private:
    void run()
    {
        for (;;) {
            Order order;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return m_quit || !m_orders.empty(); });
                if (m_quit)
                    return;
                order = std::move(m_orders.front());
                m_orders.pop_front();
            }
            Result result = m_carryOut(std::move(order));
            QMetaObject::invokeMethod(
                &m_home,
                [this, result = std::move(result)] {
                    --m_pending;
                    if (onDone)
                        onDone(result);
                    if (m_pending == 0 && onIdle)
                        onIdle();
                },
                Qt::QueuedConnection);
        }
    }

    std::function<Result(Order)> m_carryOut;
    QObject m_home; // receives the results on the creating thread
    int m_pending = 0;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Order> m_orders;
    bool m_quit = false;
    std::thread m_thread;
};
