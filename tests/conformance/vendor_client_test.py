#!/usr/bin/env python3
"""Drives hnas-arraysim with the vendor's own public REST client module.

The module (hnas_main.py of the vendor's Ansible collection) is loaded from the
directory given by --vendor-dir; it is never copied into this project. Every call
goes over HTTPS with the certificate checked against the test CA. A call the vendor
client rejects raises, and the test fails with the client's own message.

  vendor_client_test.py --sim BIN --cert-script scripts/make-test-cert.sh --vendor-dir DIR
"""
import argparse
import ctypes
import importlib.util
import json
import os
import subprocess
import sys
import tempfile
import unittest

SKIP = 77  # ctest's SKIP_RETURN_CODE: the vendor module is not beside the checkout

SEED = {
    "arrays": [{
        "name": "hnas1",
        "user": "supervisor",
        "password": "supervisor-pw",
        "apiKeys": [{"key": "conformance-key", "readOnly": False},
                    {"key": "read-only-key", "readOnly": True}],
        "virtualServers": [
            {"virtualServerId": 1, "name": "evs1", "ipAddresses": ["192.0.2.10"]},
        ],
        "filesystems": [{"label": "fs1", "virtualServerId": 1}],
        "shares": [
            {"protocol": "CIFS", "name": "data", "virtualServerId": 1, "filesystem": "fs1",
             "path": "\\data\\projects", "settings": {"comment": "team data"},
             "authentications": [{"name": "Everyone", "permission": 56, "type": "WELLKNOWN"}]},
            {"protocol": "NFS", "name": "/exp1", "virtualServerId": 1, "filesystem": "fs1",
             "path": "/exp1", "settings": {"accessConfig": "*(rw)"}},
        ],
        "snapshots": [
            {"filesystem": "fs1", "appSearchId": "QZHNAS", "displayName": "QZHNAS-u1-fs1",
             "creationTime": 1700000000},
        ],
    }]
}
SNAPSHOT = "QZHNAS-u1-fs1"
EVS = 1

args = None

PR_SET_PDEATHSIG = 1


def die_with_parent():
    """In the simulator's process before it runs: SIGKILL when this test dies."""
    ctypes.CDLL(None).prctl(PR_SET_PDEATHSIG, 9, 0, 0, 0)


def stop(sim):
    """Ends the simulator (SIGTERM, SIGKILL after 10 s) and closes its pipes."""
    sim.terminate()
    try:
        sim.wait(10)
    except subprocess.TimeoutExpired:
        sim.kill()
        sim.wait()
    sim.stdout.close()
    sim.stderr.close()


def load_vendor_module(vendor_dir):
    path = os.path.join(vendor_dir, "hnas_main.py")
    spec = importlib.util.spec_from_file_location("hnas_main", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


class VendorClientAgainstSimulator(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory()
        cls.addClassCleanup(cls.work.cleanup)
        certs = os.path.join(cls.work.name, "certs")
        subprocess.run([args.cert_script, certs], check=True)
        seed = os.path.join(cls.work.name, "seed.json")
        with open(seed, "w") as f:
            json.dump(SEED, f)
        cls.sim = subprocess.Popen(
            [args.sim, "--cert", os.path.join(certs, "server.pem"),
             "--key", os.path.join(certs, "server.key"), "--port", "0",
             "--seed", seed] + args.sim_option,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, preexec_fn=die_with_parent)
        # Class clean-ups run also when the rest of this set-up fails, as
        # tearDownClass would not; the simulator stops before its files go.
        cls.addClassCleanup(stop, cls.sim)
        line = cls.sim.stdout.readline().strip()
        if not line.startswith("hnas-arraysim listening on "):
            cls.sim.kill()
            raise RuntimeError("simulator did not start: %r %s" % (line, cls.sim.stderr.read()))
        base = line.rsplit(" ", 1)[1]
        vendor = load_vendor_module(args.vendor_dir)
        cls.vendor = vendor
        cls.url = base + "/v7"
        cls.ca = os.path.join(certs, "ca.pem")
        cls.server = vendor.HNASFileServer(cls.url, verify=cls.ca)
        cls.server.set_credentials(api_username="supervisor", api_password="supervisor-pw")
        cls.fs_id = cls.server.get_file_systems(label="fs1")["filesystems"][0]["filesystemId"]

    def test_reads(self):
        evs = self.server.get_virtual_servers()["virtualServers"]
        self.assertEqual([v["name"] for v in evs], ["evs1"])
        self.assertEqual(self.server.get_virtual_servers(name="evs1")["virtualServers"][0]["virtualServerId"], EVS)
        fs = self.server.get_file_system(self.fs_id)["filesystem"]
        self.assertEqual(fs["label"], "fs1")
        self.assertEqual(len(self.server.get_file_systems(virtualServerId=EVS)["filesystems"]), 1)
        shares = self.server.get_shares(EVS)["filesystemShares"]
        self.assertEqual([s["name"] for s in shares], ["data"])
        self.assertEqual([a["name"] for a in shares[0]["cifsAuthentications"]], ["Everyone"])
        self.assertEqual([e["name"] for e in self.server.get_exports(EVS, name="exp1")["filesystemShares"]], ["/exp1"])
        snaps = self.server.get_snapshots(self.fs_id)["snapshots"]
        self.assertIn(SNAPSHOT, [s["displayName"] for s in snaps])

    def create_and_delete(self, kind, name, params):
        """Creates, re-creates (no change) and deletes one share or export."""
        changed, ok, share = self.server.create_share_or_export(EVS, kind, dict(params, name=name, filesystemId=self.fs_id))
        self.assertTrue(changed and ok, share)
        changed, ok, again = self.server.create_share_or_export(EVS, kind, dict(params, name=name, filesystemId=self.fs_id))
        self.assertFalse(changed)
        self.assertTrue(ok)
        self.assertEqual(again["objectId"], share["objectId"])
        listed = self.server.get_share_or_export(EVS, kind, name)["filesystemShares"]
        self.assertEqual([s["objectId"] for s in listed], [share["objectId"]])
        deleted, _ = self.server.delete_share_or_export(EVS, kind, {"name": name})
        self.assertTrue(deleted)
        deleted, _ = self.server.delete_share_or_export(EVS, kind, {"name": name})
        self.assertFalse(deleted, "the second delete finds nothing")
        return share

    def test_share_and_export_inside_a_snapshot(self):
        self.create_and_delete("cifs", "snapdata", {
            "filesystemPath": "\\.snapshot\\" + SNAPSHOT + "\\data",
            "cifsAuthentications": [{"name": "Everyone", "permission": 8, "type": "WELLKNOWN"}]})
        # The vendor client sends an export name without its "/" on create.
        self.create_and_delete("nfs", "snapexp", {"filesystemPath": "/.snapshot/" + SNAPSHOT + "/exp1"})

    def test_vendor_examples_outside_snapshots(self):
        share = self.create_and_delete("cifs", "ansible", {"filesystemPath": "\\non-root\\ansible"})
        self.assertEqual(share["path"], "\\non-root\\ansible")
        self.create_and_delete("nfs", "ansible", {"filesystemPath": "/"})

    def test_by_api_key(self):
        """The vendor's recommended way in: X-Api-Key instead of user and password."""
        keyed = self.vendor.HNASFileServer(self.url, verify=self.ca)
        keyed.set_credentials(api_key="conformance-key")
        self.assertEqual([v["name"] for v in keyed.get_virtual_servers()["virtualServers"]], ["evs1"])
        changed, ok, share = keyed.create_share_or_export(
            EVS, "nfs", {"name": "bykey", "filesystemId": self.fs_id, "filesystemPath": "/keyed"})
        self.assertTrue(changed and ok, share)
        # A read-only key reads, and every change is refused (the vendor client raises).
        reader = self.vendor.HNASFileServer(self.url, verify=self.ca)
        reader.set_credentials(api_key="read-only-key")
        self.assertEqual(len(reader.get_exports(EVS, name="bykey")["filesystemShares"]), 1)
        with self.assertRaises(AssertionError) as refused:
            reader.delete_share_or_export(EVS, "nfs", {"name": "bykey"})
        self.assertIn("403", str(refused.exception))
        deleted, _ = keyed.delete_share_or_export(EVS, "nfs", {"name": "bykey"})
        self.assertTrue(deleted)

    def test_permissions_added_and_removed(self):
        """The vendor client sends no noDefaultSecurity: the new share has the
        array's default entry (Everyone, full control) beside the one added,
        and the vendor client removes either by its encodedName."""
        params = {"name": "perms", "filesystemId": self.fs_id, "filesystemPath": "\\data",
                  "cifsAuthentications": [{"name": "Administrators", "permission": 56, "type": "GROUP"}]}
        self.addCleanup(self.server.delete_share_or_export, EVS, "cifs", {"name": "perms"})
        _, ok, share = self.server.create_share_or_export(EVS, "cifs", params)
        self.assertTrue(ok)
        names = [(a["name"], a["permission"], a["type"]) for a in share["cifsAuthentications"]]
        self.assertEqual(names, [("Everyone", 56, "WELLKNOWN"), ("BUILTIN\\Administrators", 56, "ALIAS")])
        self.assertTrue(self.server.delete_cifs_authentications(share["objectId"], params))
        left = self.server.get_cifs_authentications(share["objectId"])["cifsAuthentications"]
        self.assertEqual([a["name"] for a in left], ["Everyone"])
        self.assertTrue(self.server.delete_cifs_authentications(
            share["objectId"], {"cifsAuthentications": [{"name": "Everyone"}]}))
        self.assertEqual(self.server.get_cifs_authentications(share["objectId"])["cifsAuthentications"], [])


def main():
    global args
    parser = argparse.ArgumentParser()
    parser.add_argument("--sim", required=True)
    parser.add_argument("--cert-script", required=True)
    parser.add_argument("--vendor-dir", required=True)
    parser.add_argument("--sim-option", action="append", default=[])
    args, rest = parser.parse_known_args()
    if not os.path.isfile(os.path.join(args.vendor_dir, "hnas_main.py")):
        print("vendor module not found in %s" % args.vendor_dir)
        if os.environ.get("CI"):
            return 1
        return SKIP
    try:
        import requests  # noqa: F401  (the vendor module needs it)
    except ImportError:
        print("python3-requests is missing (scripts/install-deps.sh installs it)")
        return 1
    result = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
