#!/usr/bin/env python3
"""The service against the cashbox simulator answers a script of requests
that touches every operation of docs/openapi.yaml; each answer's status,
reason phrase and body must be what the document says for that operation.

Usage: contract.py BIN_DIR OPENAPI_YAML [-v]  (-v prints every answer)
"""
import base64
import json
import os
import re
import sys
import warnings
import tempfile
import xml.etree.ElementTree as ElementTree

import jsonschema
import yaml

# Debian's jsonschema takes a RefResolver; newer ones still do, with a warning.
warnings.filterwarnings("ignore", category=DeprecationWarning)

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from stack import Stack  # noqa: E402

RECEIPT = {"document": {"print": 1, "data": {"type": 1, "moneyType": 1, "sum": 150, "fiscprops": [
    {"tag": 1059, "fiscprops": [
        {"tag": 1030, "value": "Хлеб"}, {"tag": 1079, "value": 150}, {"tag": 1023, "value": 1},
        {"tag": 1199, "value": 6}, {"tag": 1214, "value": 4}, {"tag": 1212, "value": 1}]}]}}}
RECEIPT_V2 = {"protocol": 2, "document": {"print": 1, "data": {"type": 1, "moneyType": 1, "sum": 100, "bso": {
    "p1059": [{"p1030": "Молоко", "p1079": 100, "p1023": 1, "p1199": 6, "p1214": 4, "p1212": 1}]}}}}
RECEIPT_XML = ('<document><sessionid>contract-xml</sessionid><print>1</print><data><type>1</type>'
               '<moneytype>1</moneytype><sum>100</sum><fiscprops><prop tag="1059"><fiscprops>'
               '<prop tag="1030" value="Соль"/><prop tag="1079" value="100"/><prop tag="1023" value="1"/>'
               '<prop tag="1199" value="6"/><prop tag="1214" value="4"/><prop tag="1212" value="1"/>'
               '</fiscprops></prop></fiscprops></data></document>').encode()
PIXEL = ("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAAAAAA6fptVAAAACklEQVR4nGNgAAAAAgABSK+kcQAAAABJRU5ErkJggg==")
FISCALISATION = {"document": {"sessionId": "contract-fiscalise", "printOnly": True,
                               "data": {"regNumber": "0000000001012345", "userInn": "7700000000"}}}


def b64(text):
    return base64.b64encode(text.encode()).decode()


def receipt(session, body=RECEIPT):
    copy = json.loads(json.dumps(body))
    copy["document"]["sessionId"] = session
    return copy


# A page of another site, a rebound host name, a foreign origin: refused
# before anything is done, on any path.
FOREIGN = {"Host": "rebind.attacker.example:8780"}
CROSS_SITE_IMAGE = {"Sec-Fetch-Site": "cross-site", "Sec-Fetch-Mode": "no-cors"}
CROSS_SITE_FORM = {"Sec-Fetch-Site": "cross-site", "Sec-Fetch-Mode": "navigate", "Content-Type": "text/plain"}

# (method, path, body, expected status, credentials[, headers]); in this
# order, because the register's state carries from one request to the next.
SCRIPT = [
    ("GET", "/cycleopen.json", None, 403, "1:30", FOREIGN),
    ("OPTIONS", "/cycleopen.json", None, 403, None, FOREIGN),
    ("GET", "/cycleclose.json?print=1", None, 403, "1:30", CROSS_SITE_IMAGE),
    ("POST", "/choosecombine.json", b'{"cashierInn":"1","pad":"="}', 403, None, CROSS_SITE_FORM),
    ("GET", "/robots.txt", None, 200, None, CROSS_SITE_IMAGE),
    ("GET", "/robots.txt", None, 200, None),
    ("GET", "/favicon.ico", None, 200, None),
    ("GET", "/metrics", None, 200, None),
    ("GET", "/cashboxstatus.json", None, 401, None),
    ("GET", "/cashboxstatus.json", None, 401, "1:31"),
    ("GET", "/cashboxstatus.json", None, 200, "1:30"),
    ("GET", "/cashbox-state.xml", None, 200, "1:30"),
    ("GET", "/fsstatus.json", None, 200, "1:30"),
    ("GET", "/fs_status.xml", None, 200, "1:30"),
    ("GET", "/cashboxversion.json", None, 200, "1:30"),
    ("GET", "/cashboxver.xml", None, 200, "1:30"),
    ("POST", "/fiscalcheck.json", receipt("contract-closed-shift"), 500, "1:30"),
    ("GET", "/xreport.json?print=1", None, 200, "1:30"),
    ("GET", "/x_report.xml", None, 200, "1:30"),
    ("GET", "/cycleopen.json?print=1", None, 200, "1:30"),
    ("GET", "/cycle-open.xml", None, 500, "1:30"),
    ("POST", "/fiscalcheck.json", receipt("contract-closed-shift"), 200, "1:30"),
    ("POST", "/fiscal-check.json", receipt("contract-closed-shift"), 200, "1:30"),
    ("POST", "/fiscalcheck.json", receipt("", RECEIPT_V2), 200, "1:30"),
    ("POST", "/fiscalcheck.json", b"{not json", 406, "1:30"),
    ("POST", "/fiscalcheck.json", dict(receipt("contract-p3"), protocol=3), 406, "1:30"),
    ("POST", "/fiscalcheck.xml", RECEIPT_XML, 200, "1:30"),
    ("POST", "/fiscalcheck.xml", b"<receipt/>", 406, "1:30"),
    ("GET", "/fiscaldoc.json?number=5", None, 200, "1:30"),
    ("GET", "/fiscal_doc.xml?number=3&print=1", None, 200, "1:30"),
    ("GET", "/fiscaldoc.json?number=three", None, 400, "1:30"),
    ("GET", "/fiscaldoc.json?number=999", None, 524, "1:30"),
    ("GET", "/calcreport.json", None, 200, "1:30"),
    ("GET", "/calc-report.xml", None, 200, "1:30"),
    ("GET", "/introduction.json?sum=10000", None, 200, "1:30"),
    ("GET", "/introduction.xml?sum=500", None, 200, "1:30"),
    ("GET", "/introduction.json?sum=1.50", None, 406, "1:30"),
    ("GET", "/payout.json?sum=2500", None, 200, "1:30"),
    ("GET", "/payout.json?sum=99999999", None, 200, "1:30"),
    ("GET", "/payout.xml?sum=-5", None, 406, "1:30"),
    ("POST", "/printtext.json", {"document": {"print": 1, "data": {"lines": ["Спасибо за покупку!"]}}},
     200, "1:30"),
    ("POST", "/print_text.xml", "<document><data><line>Ждём вас снова</line></data></document>".encode(),
     200, "1:30"),
    ("POST", "/printtext.json", b"[", 406, "1:30"),
    ("POST", "/printrichtext.json", {"document": {"images": [{"fileName": "logo.png", "image": PIXEL}],
                                                  "bbcode": b64("[center][img]logo.png[/img][/center]\n"
                                                                "[b]Спасибо![/b]")}}, 200, "1:30"),
    ("POST", "/storeimages.json", {"document": {"plain": b64("Касса 1")}}, 200, "1:30"),
    ("POST", "/printrichtext.json", {"document": {"plain": "not base64!"}}, 406, "1:30"),
    ("POST", "/printrichtext.xml", ("<document><plain>%s</plain></document>" % b64("XML")).encode(),
     200, "1:30"),
    ("GET", "/cycleclose.json?print=1", None, 200, "1:30"),
    ("GET", "/cycle_close.xml", None, 500, "1:30"),
    ("POST", "/fiscalize.json", FISCALISATION, 200, "1:30"),
    ("POST", "/activate.json", FISCALISATION, 200, "1:30"),
    ("POST", "/fiscalize.json", b"{", 406, "1:30"),
    ("POST", "/fiscalize.xml", b"<document><sessionid>contract-fiscalise</sessionid></document>", 200,
     "1:30"),
    ("GET", "/discover.json?cleanresults=1", None, 200, None),
    ("GET", "/search.xml", None, 200, None),
    ("GET", "/cashboxes.json", None, 200, None),
    ("GET", "/found_cashboxes.xml", None, 200, None),
    ("GET", "/choosecashbox.json?model=1&serial=nowhere", None, 523, None),
    ("GET", "/choose_cashbox.xml?model=1&serial=nowhere", None, 523, None),
    ("POST", "/chooseatol.xml", b"<document/>", 501, None),
    ("POST", "/choose_combine.xml", b"<document/>", 501, None),
    ("POST", "/chooseatol.json", b"{", 406, None),
    ("POST", "/choosecombine.json", {"protocol": 3}, 406, None),
    ("GET", "/nowhere.json", None, 404, "1:30"),
    ("POST", "/nowhere.json", {}, 404, "1:30"),
    ("PUT", "/cashboxstatus.json", None, 400, "1:30"),
    ("GET", "/closefs.json", None, 200, "1:30"),
    ("GET", "/close_fs.xml", None, 200, "1:30"),
    # Last: each choice switches the service to another device.
    ("POST", "/choosecombine.json", {"cashierInn": "7700000000", "cashier": "Иванова"}, 200, None),
    ("POST", "/choose_atol.json", {"transport": "TCP", "host": "127.0.0.1", "port": 5555}, 200, None),
]

# A register that never answers a receipt: the time-out, and the retry,
# which finds nothing registered, sends it again and times out again.
SILENT_SCRIPT = [
    ("POST", "/fiscalcheck.json", receipt("contract-silent"), 524, "1:30"),
    ("POST", "/fiscalcheck.json", receipt("contract-silent"), 524, "1:30"),
]


class Document:
    def __init__(self, path):
        with open(path, encoding="utf-8") as source:
            self.api = yaml.safe_load(source)
        self.resolver = jsonschema.RefResolver("", self.api)
        self.routes = {}
        for template, item in self.api["paths"].items():
            for name in [template] + item.get("x-aliases", []):
                self.routes[name.lower()] = template
        self.covered = set()

    def resolve(self, node):
        while isinstance(node, dict) and "$ref" in node:
            node = self.resolver.resolve(node["$ref"])[1]
        return node

    def operation(self, method, path):
        template = self.routes.get(path.split("?")[0].lower())
        if template is None:
            return None, None
        return template, self.api["paths"][template].get(method.lower())

    def check(self, method, path, status, reason, headers, body):
        """The differences between the answer and the document, as texts."""
        template, operation = self.operation(method, path)
        if operation is None or status == 403:
            return self.check_general(status, reason, body)
        self.covered.add((template, method.lower()))
        documented = operation["responses"].get(str(status))
        if documented is None:
            return ["status %d is not documented for %s %s" % (status, method, template)]
        documented = self.resolve(documented)
        problems = []
        # http.client strips the reason phrase: "Insufficient Storage " arrives
        # without its blank.
        if "x-reason" in documented and documented["x-reason"].strip() != reason:
            problems.append("reason %r, documented %r" % (reason, documented["x-reason"]))
        if "x-reason-pattern" in documented and not re.fullmatch(documented["x-reason-pattern"], reason):
            problems.append("reason %r, documented %r" % (reason, documented["x-reason-pattern"]))
        content = documented.get("content", {})
        if not body:
            if content and not documented.get("x-empty-body", False):
                problems.append("empty body, documented %s" % ", ".join(content))
            return problems
        # The plain answers (robots.txt, the favicon, 401) come without a
        # Content-Type: they are what the document names for them.
        media = headers.get("Content-Type", "").split(";")[0].strip()
        if not media and len(content) == 1:
            media = next(iter(content))
        if media not in content:
            return problems + ["body of type %s, documented %s" % (media or "none", ", ".join(content) or "none")]
        return problems + self.validate(content[media].get("schema", {}), media, body)

    def validate(self, schema, media, body):
        text = body.decode("utf-8", "replace")
        if media == "text/xml":
            expected = self.resolve(schema).get("xml", {}).get("name")
            try:
                root = ElementTree.fromstring(body).tag
            except ElementTree.ParseError:
                root = None
            if expected:
                return [] if root == expected else ["XML root %s, documented <%s>" % (root, expected)]
            value = text
        elif media == "text/json":
            try:
                value = json.loads(body)
            except ValueError:
                value = text
        elif media.startswith("text/"):
            value = text
        else:
            return []
        return self.errors(schema, value, "body")

    def errors(self, schema, value, where):
        validator = jsonschema.Draft202012Validator(schema, resolver=self.resolver)
        return ["%s/%s: %s" % (where, "/".join(map(str, error.absolute_path)), error.message)
                for error in validator.iter_errors(value)]

    def check_request(self, method, path, body):
        """A JSON body the script sends must match the request schema too."""
        _, operation = self.operation(method, path)
        schema = ((operation or {}).get("requestBody", {}).get("content", {})
                  .get("application/json", {}).get("schema"))
        if schema is None or not isinstance(body, dict):
            return []
        return self.errors(schema, body, "request")

    def check_general(self, status, reason, body):
        """Answers given on any path: unknown paths, methods, refused callers."""
        general = self.api["components"]["responses"]
        known = {"404": "NotFound", "400": "BadRequest", "403": "Forbidden"}
        if str(status) not in known:
            return ["status %d on an undocumented path" % status]
        documented = general[known[str(status)]]
        problems = [] if documented["x-reason"] == reason else ["reason %r" % reason]
        schema = documented.get("content", {}).get("text/plain", {}).get("schema")
        return problems + (self.validate(schema, "text/plain", body) if schema and body else [])

    def operations(self):
        return {(template, method) for template, item in self.api["paths"].items()
                for method in ("get", "post") if method in item}


def run(stack, document, script, verbose):
    failures = 0
    for method, path, body, expected, credentials, *sent in script:
        data = body.encode() if isinstance(body, str) else body
        status, reason, headers, answer = stack.request(method, path, data, headers=sent[0] if sent else None,
                                                        credentials=credentials)
        problems = (document.check_request(method, path, body)
                    + document.check(method, path, status, reason, headers, answer))
        if status != expected:
            problems.insert(0, "status %d, the script expects %d" % (status, expected))
        if verbose:
            print("%s %s -> %d %s\n%s\n" % (method, path, status, reason, answer[:2000].decode("utf-8", "replace")))
        for problem in problems:
            failures += 1
            print("FAIL %s %s: %s" % (method, path, problem))
    return failures


def main():
    bin_dir, document_path = sys.argv[1], sys.argv[2]
    verbose = "-v" in sys.argv
    document = Document(document_path)
    failures = 0
    with tempfile.TemporaryDirectory(prefix="tillgate-contract-") as root:
        for directory, script, simulator in (("plain", SCRIPT, []),
                                             ("silent", SILENT_SCRIPT, ["--silent", "registreCheck"])):
            stack = Stack(bin_dir, os.path.join(root, directory), simulator=simulator)
            try:
                stack.start()
                failures += run(stack, document, script, verbose)
            finally:
                stack.stop()
    missing = sorted(document.operations() - document.covered)
    for template, method in missing:
        failures += 1
        print("FAIL %s %s: no request of the script reaches it" % (method.upper(), template))
    print("%d requests, %d documented operations reached, %d problems"
          % (len(SCRIPT) + len(SILENT_SCRIPT), len(document.covered), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
