// The provider table's look-ups and the autoconfig reader, without a network.

#include "discovery/Autoconfig.h"
#include "discovery/Providers.h"

#include <gtest/gtest.h>

namespace {

using namespace toppeek::discovery;
using toppeek::mail::Security;

TEST(ProviderTable, FindsProvidersByDomainAndByMailExchanger) {
    const Provider* gmail = providerForDomain("GoogleMail.com.");
    ASSERT_NE(gmail, nullptr);
    EXPECT_EQ(gmail->host, "pop.gmail.com");
    EXPECT_EQ(gmail->signIn, SignIn::OAuth2);
    EXPECT_EQ(providerForDomain("mail.gmail.com"), nullptr); // no subdomain matching
    EXPECT_EQ(providerForDomain("example.com"), nullptr);

    const Provider* icloud = providerForDomain("me.com");
    ASSERT_NE(icloud, nullptr);
    EXPECT_FALSE(icloud->offersPop3());

    // A Workspace or Microsoft 365 domain is known by its MX hosts, named under the provider.
    EXPECT_EQ(providerForMailExchanger("aspmx.l.google.com."), gmail);
    const Provider* outlook = providerForMailExchanger("contoso-com.mail.protection.outlook.com");
    ASSERT_NE(outlook, nullptr);
    EXPECT_EQ(outlook->host, "outlook.office365.com");
    EXPECT_EQ(providerForMailExchanger("notgoogle.com"), nullptr);
    EXPECT_EQ(providerForMailExchanger("google.com.evil.example"), nullptr);
}

TEST(AutoconfigReader, TakesThePop3ServersInOrderWithTheirSignIn) {
    const char* xml = R"(<?xml version="1.0"?>
<clientConfig version="1.1">
  <emailProvider id="example.com">
    <domain>example.com</domain>
    <displayName>Example Mail</displayName>
    <incomingServer type="imap">
      <hostname>imap.example.com</hostname><port>993</port><socketType>SSL</socketType>
      <authentication>password-cleartext</authentication><username>%EMAILADDRESS%</username>
    </incomingServer>
    <incomingServer type="pop3">
      <hostname>POP.%EMAILDOMAIN%</hostname><port>995</port><socketType>SSL</socketType>
      <authentication>NTLM</authentication>
      <authentication>OAuth2</authentication>
      <authentication>password-cleartext</authentication>
      <username>%EMAILLOCALPART%</username>
      <pop3><leaveMessagesOnServer>true</leaveMessagesOnServer></pop3>
    </incomingServer>
    <incomingServer type="pop3">
      <hostname>pop.example.com</hostname><port>99999</port><socketType>SSL</socketType>
    </incomingServer>
    <incomingServer type="pop3">
      <hostname>mail.example.com</hostname><port>110</port><socketType>STARTTLS</socketType>
      <authentication>password-encrypted</authentication>
    </incomingServer>
  </emailProvider>
</clientConfig>)";
    const auto document = parseAutoconfig(xml, "ann@example.com");
    ASSERT_TRUE(document);
    EXPECT_EQ(document->displayName, "Example Mail");
    ASSERT_EQ(document->servers.size(), 2u); // the entry with port 99999 is left out
    const ServerSettings& first = document->servers[0];
    EXPECT_EQ(first.host, "pop.example.com");
    EXPECT_EQ(first.port, 995);
    EXPECT_EQ(first.security, Security::Tls);
    EXPECT_EQ(first.userName, "ann");
    EXPECT_EQ(first.signIn, SignIn::OAuth2); // NTLM is unknown here, OAuth2 comes next
    const ServerSettings& second = document->servers[1];
    EXPECT_EQ(second.security, Security::StartTls);
    EXPECT_EQ(second.signIn, SignIn::EncryptedPassword);
    EXPECT_EQ(second.userName, "ann@example.com");

    // Broken or foreign documents are not trusted in part.
    EXPECT_FALSE(parseAutoconfig("<clientConfig><emailProvider><incomingServer type=\"pop3\">"
                                 "<hostname>pop.example.com</hostname>",
                                 "ann@example.com"));
    EXPECT_FALSE(parseAutoconfig("<html><body>Not found</body></html>", "ann@example.com"));
    EXPECT_FALSE(parseAutoconfig("", "ann@example.com"));
}

TEST(AutoconfigReader, AsksTheTwoAddressesWithTheAddressEscaped) {
    const auto urls = autoconfigUrls("ann+x@Example.com", 8443);
    ASSERT_EQ(urls.size(), 2u);
    EXPECT_EQ(urls[0], "https://autoconfig.example.com:8443/mail/config-v1.1.xml?emailaddress="
                       "ann%2Bx%40Example.com");
    EXPECT_EQ(urls[1], "https://example.com:8443/.well-known/autoconfig/mail/config-v1.1.xml");
}

} // namespace
