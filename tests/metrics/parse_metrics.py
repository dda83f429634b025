#!/usr/bin/env python3
"""Reads the text exposition format on stdin with prometheus_client's own
parser and prints every sample as JSON: {name: [{"labels": {}, "value": v}]},
plus "#types": {family: type}. Exits non-zero on text the parser refuses."""
import json
import sys

from prometheus_client.parser import text_string_to_metric_families

samples = {}
types = {}
for family in text_string_to_metric_families(sys.stdin.read()):
    types[family.name] = family.type
    for sample in family.samples:
        samples.setdefault(sample.name, []).append({"labels": sample.labels, "value": sample.value})
samples["#types"] = types
json.dump(samples, sys.stdout)
