#pragma once

#include <QString>

#include <memory>

class User;

enum class IntegratorType : int { None = 0, Uyumsoft = 1, EDM = 2 };

// The integrator client a user talks to. The service clients derive from it.
class Integration
{
public:
    explicit Integration(User *user) : user(user) {}
    virtual ~Integration();

    static std::unique_ptr<Integration> create(IntegratorType type, User *user);

    virtual IntegratorType type() const = 0;
    virtual bool checkConnection() { return false; }

    User *user = nullptr;   // not owned
};
