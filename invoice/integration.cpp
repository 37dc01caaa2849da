#include "integration.h"

namespace {

// Holds the account's integrator choice until the service clients exist.
class PendingIntegration final : public Integration
{
public:
    PendingIntegration(IntegratorType type, User *user) : Integration(user), m_type(type) {}
    IntegratorType type() const override { return m_type; }

private:
    IntegratorType m_type;
};

} // namespace

Integration::~Integration() = default;

std::unique_ptr<Integration> Integration::create(IntegratorType type, User *user)
{
    return std::make_unique<PendingIntegration>(type, user);
}
