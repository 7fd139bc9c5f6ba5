#include "tests/support/FieldData.h"

namespace testsupport {

const char kFieldArray[] = "hnas1";
const char kFieldUser[] = "field-supervisor";
const char kFieldPassword[] = "Field-pw-1!";
const char kFieldLongLabel[] = "finance-archive-quarterly-reporting-volume-2026";
const char kFieldLongShare[] = "engineering-design-documents-and-project-review-minutes-archive-2019-to-2026";
const char kFieldLongExport[] =
    "/backup-staging-area-for-the-finance-department-monthly-close-and-audit-exports-2026-q1-to-q4";

namespace {

const char kSeed[] = R"JSON({
  "arrays": [{
    "name": "hnas1", "user": "field-supervisor", "password": "Field-pw-1!",
    "virtualServers": [
      {"virtualServerId": 1, "name": "evs1", "ipAddresses": ["127.0.1.10"]},
      {"virtualServerId": 2, "name": "evs2", "ipAddresses": ["127.0.1.20"]}
    ],
    "filesystems": [
      {"label": "fs1", "virtualServerId": 1,
       "directories": ["\\data\\sub1", "\\data\\SUB1", "\\Team {A}\\Plans {2027}", "\\Café Ventes\\Été 2026"]},
      {"label": "fs2", "virtualServerId": 1, "directories": ["\\Engineering\\build"]},
      {"label": "fs3", "virtualServerId": 1, "directories": ["\\Archive\\Projects\\reports"]},
      {"label": "fs4", "virtualServerId": 1},
      {"label": "fs5", "virtualServerId": 1},
      {"label": "finance-archive-quarterly-reporting-volume-2026", "virtualServerId": 1},
      {"label": "fs-offline", "virtualServerId": 2, "status": "NOT_MOUNTED"}
    ],
    "shares": [
      {"protocol": "CIFS", "name": "data", "virtualServerId": 1, "filesystem": "fs1", "path": "\\data",
       "settings": {"comment": "team data", "maxConcurrentUsers": -1},
       "authentications": [{"name": "Everyone", "permission": 56, "type": "WELLKNOWN"},
                           {"name": "Administrators", "permission": 24, "type": "GROUP"}]},
      {"protocol": "CIFS", "name": "finance", "virtualServerId": 1, "filesystem": "fs1",
       "path": "\\Finance, Legal",
       "authentications": [{"name": "EXAMPLE\\finance", "permission": 24, "type": "GROUP"}]},
      {"protocol": "CIFS", "name": "team", "virtualServerId": 1, "filesystem": "fs1", "path": "\\Team {A}",
       "settings": {"isABEEnabled": true}},
      {"protocol": "CIFS", "name": "ventes", "virtualServerId": 1, "filesystem": "fs1", "path": "\\Café Ventes",
       "settings": {"comment": "Résultats trimestriels"}},
      {"protocol": "CIFS", "name": "sales", "virtualServerId": 1, "filesystem": "fs1", "path": "\\Sales",
       "settings": {"comment": "Sales, EMEA", "maxConcurrentUsers": 25},
       "authentications": [
         {"name": "EXAMPLE\\jdoe", "permission": 24, "type": "USER"},
         {"name": "EXAMPLE\\sales", "permission": 8, "type": "GROUP"},
         {"name": "Everyone", "permission": 8, "type": "WELLKNOWN"}
       ]},
      {"protocol": "CIFS", "name": "Payroll$", "virtualServerId": 1, "filesystem": "fs1", "path": "\\Payroll",
       "authentications": [
         {"name": "EXAMPLE\\payroll-admins", "permission": 56, "type": "GROUP"},
         {"name": "EXAMPLE\\cfo", "permission": 24, "type": "USER"}
       ]},
      {"protocol": "NFS", "name": "/exp-rw", "virtualServerId": 1, "filesystem": "fs1", "path": "/exp-rw",
       "settings": {"accessConfig": "10.1.0.0/16(rw,no_root_squash)"}},
      {"protocol": "NFS", "name": "/exp-ro", "virtualServerId": 1, "filesystem": "fs1", "path": "/exp-ro",
       "settings": {"accessConfig": "10.1.*.*(readonly, allsquash, anonuid=10, anongid=10)"}},
      {"protocol": "NFS", "name": "/exp-hosts", "virtualServerId": 1, "filesystem": "fs2", "path": "/exp-hosts",
       "settings": {"accessConfig": "host1(rw) host2(ro)", "localReadCacheOption": "ENABLED_FOR_ALL_FILES"}},
      {"protocol": "CIFS", "name": "eng", "virtualServerId": 1, "filesystem": "fs2", "path": "\\Engineering",
       "authentications": [{"name": "EXAMPLE\\engineers", "permission": 24, "type": "GROUP"},
                           {"name": "Everyone", "permission": 8, "type": "WELLKNOWN"}]},
      {"protocol": "CIFS", "name": "Ops$", "virtualServerId": 1, "filesystem": "fs3", "path": "\\Operations",
       "settings": {"comment": "runbooks {ops}"},
       "authentications": [{"name": "EXAMPLE\\operators", "permission": 56, "type": "GROUP"}]},
      {"protocol": "CIFS", "name": "engineering-design-documents-and-project-review-minutes-archive-2019-to-2026",
       "virtualServerId": 1, "filesystem": "fs3", "path": "\\Archive\\Projects",
       "authentications": [{"name": "EXAMPLE\\architects", "permission": 24, "type": "GROUP"}]},
      {"protocol": "NFS",
       "name": "/backup-staging-area-for-the-finance-department-monthly-close-and-audit-exports-2026-q1-to-q4",
       "virtualServerId": 1, "filesystem": "finance-archive-quarterly-reporting-volume-2026",
       "path": "/staging", "settings": {"accessConfig": "backup1(rw),backup2(ro)"}}
    ]
  }]
})JSON";

}  // namespace

std::string fieldDataSeed() { return kSeed; }

}  // namespace testsupport
