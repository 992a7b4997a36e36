#pragma once

#include <QString>

// A cache-manager request as the operator types it, "mgr:ACTION" or
// "mgr:ACTION@PASSWORD", in the form every Squid since 3.2 answers: the path
// /squid-internal-mgr/ACTION, with the password (cachemgr_passwd) sent as HTTP
// Basic credentials. squidclient 6 no longer sends "mgr:" in a form Squid 7
// reads, and refuses a password embedded in it, so the scripts never hand it
// the operator's "mgr:" form.
struct ManagerRequest
{
    // The name sent with a password; Squid checks only the password.
    static QString userName();

    // A text that does not start with "mgr:" is no manager request: `manager`
    // stays false and the text is passed as it is.
    static ManagerRequest parse(const QString &request);

    bool manager = false;
    QString path; // "/squid-internal-mgr/ACTION"
    bool withPassword = false;
    QString password; // everything after the first "@", which may hold more
};
