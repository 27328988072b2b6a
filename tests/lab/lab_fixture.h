#pragma once

#include "lab_network.h"
#include "support/echo_record.h"
#include "support/real_probe.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <string>
#include <unistd.h>

namespace lab {

// Every lab test runs inside the client namespace of a lab built by
// tests/lab/run_lab.sh; anywhere else it says why it is skipped.
class LabTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "skipped: the network lab needs root";
        auto lab = currentLab();
        if (!lab)
            GTEST_SKIP() << "skipped: not inside a lab's client namespace; "
                            "run through tests/lab/run_lab.sh";
        m_lab = std::move(*lab);
    }

    std::string m_lab;
};

} // namespace lab
