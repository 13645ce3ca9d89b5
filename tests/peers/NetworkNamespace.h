// A network namespace of the test's own, with a firewall, for tests that
// need a network whose rules differ from the machine's (a desktop firewall
// that drops every incoming connection but a few).
//
// Usage:
//     peers::NetworkNamespace net;
//     ASSERT_TRUE(net.Enter()) << net.Error();   // this thread is inside now
//     ... start servers (their processes are inside too) ...
//     ASSERT_TRUE(net.AcceptOnlySynTo({{21, 21}, {40000, 40007}})) << net.Error();
//
// Enter() makes the namespace (loopback up, nothing else) and moves the
// calling thread into it: the sockets that thread makes from then on, and
// the processes it starts, live there. The destructor moves the thread back
// and deletes the namespace, whatever happened between. Needs root and
// iproute2; the firewall needs nftables.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace peers {

class NetworkNamespace {
public:
    NetworkNamespace() = default;
    ~NetworkNamespace();
    NetworkNamespace(const NetworkNamespace&) = delete;
    NetworkNamespace& operator=(const NetworkNamespace&) = delete;

    bool Enter();
    // Drops every incoming TCP SYN but those to the given port ranges (first,
    // last): connections to other ports time out, as behind a firewall that
    // drops rather than refuses.
    bool AcceptOnlySynTo(const std::vector<std::pair<int, int>>& ports);
    // Back to the namespace the thread came from; the namespace stays.
    void Leave();

    const std::string& Name() const { return name_; }
    const std::string& Error() const { return error_; }

private:
    bool Fail(const std::string& why);

    std::string name_, error_;
    int home_ = -1;  // the thread's own namespace
    bool made_ = false, inside_ = false;
};

}  // namespace peers
