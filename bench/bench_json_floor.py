"""JSON validity at the parser's floor: is_valid_json against a bare SIMD parse
(pysimdjson) of the same bytes, and every JSON road of ours against its peers;
load against the decoders that build the same objects (msgspec typed decode,
orjson, jiter, orjson then is_valid), and validate_json of documents with one
bad value and with one record in ten bad against load of the good one.

Four documents of its own, each checked against a schema inferred from it
(closed records, optional keys where a key is absent somewhere, unions where
kinds mix, a map where the keys are all digits or more than 64):
numbers (GeoJSON polygons of float pairs), id-keyed maps and small records,
wide text records (non-ASCII text, escapes, escaped slashes) and a 10 MB list
of flat records. Prints, per document, times measured in this one run and
their ratios; the peak memory of is_valid_json comes from a fresh process.
"""

import functools
import json
import math
import operator
import os
import random
import subprocess
import sys
import tempfile
import time
from typing import Any, NotRequired, Optional, TypedDict

import jiter
import msgspec
import orjson
import simdjson
from pydantic_core import SchemaValidator, core_schema as cs

from tarmelix import Validator


# --- documents ------------------------------------------------------------------

def numbers_doc(rnd, target):
    features, size = [], 0
    while size < target:
        ring = [[round(rnd.uniform(-180, 180), 13), round(rnd.uniform(-90, 90), 13)]
                for _ in range(rnd.randint(50, 400))]
        ring.append(ring[0])
        feature = {"type": "Feature", "properties": {"name": f"region {len(features)}"},
                   "geometry": {"type": "Polygon", "coordinates": [ring]}}
        features.append(feature)
        size += len(json.dumps(feature))
    return {"type": "FeatureCollection", "features": features}


def maps_doc(rnd, target):
    words = ["Arrière-scène", "Balcon", "Parterre", "Loge", "Galerie", "Orchestre", "central",
             "jardin", "cour", "Amphithéâtre"]
    area_names = {str(205705993 + i): " ".join(rnd.sample(words, 2)) for i in range(200)}
    events, performances, size = {}, [], 0
    while size < target:
        eid = 138586341 + 2 * len(events)
        event = {"description": None, "id": eid,
                 "logo": rnd.choice([None, f"/images/UE0AAAAACEKo{eid}.jpg"]),
                 "name": " ".join(rnd.sample(words, 3)), "subTopicIds": rnd.sample(range(337184262, 337184300), 3),
                 "subjectCode": None, "subtitle": None, "topicIds": rnd.sample(range(324846098, 324846110), 2)}
        events[str(eid)] = event
        perf = {"eventId": eid, "id": 339887544 + len(performances),
                "logo": event["logo"], "name": None,
                "prices": [{"amount": rnd.randint(10, 200) * 1000, "audienceSubCategoryId": 337100890,
                            "seatCategoryId": 338937295 + k} for k in range(rnd.randint(1, 4))],
                "seatCategories": [{"areas": [{"areaId": int(rnd.choice(list(area_names))), "blockIds": []}
                                              for _ in range(rnd.randint(1, 6))],
                                    "seatCategoryId": 338937295 + k} for k in range(rnd.randint(1, 3))],
                "seatMapImage": None, "start": 1372701600000 + 86400000 * len(performances),
                "venueCode": "PLEYEL_PLEYEL"}
        performances.append(perf)
        size += len(json.dumps(event)) + len(json.dumps(perf)) + 30
    return {"areaNames": area_names, "events": events, "performances": performances,
            "seatCategoryNames": {str(338937295 + k): f"Catégorie {k}" for k in range(4)}}


def text_doc(rnd, target):
    jp = "東京都渋谷区のカフェで美味しいコーヒーを飲みました今日はとても良い天気ですね"
    latin = "the quick brown fox jumps over the lazy dog while reading the news today".split()

    def text(n):
        parts = []
        for _ in range(n):
            if rnd.random() < 0.3:
                parts.append("".join(rnd.choice(jp) for _ in range(rnd.randint(2, 8))))
            else:
                parts.append(rnd.choice(latin))
        return " ".join(parts)

    statuses, size = [], 0
    while size < target:
        uid = rnd.randint(10**8, 10**9)
        user = {"id": uid, "id_str": str(uid), "name": text(2), "screen_name": f"user_{uid % 9973}",
                "location": text(1), "description": text(8),
                "url": rnd.choice([None, f"http://example.com/{uid}"]),
                "protected": False, "followers_count": rnd.randint(0, 10**5),
                "friends_count": rnd.randint(0, 10**4), "created_at": "Sun Aug 31 00:29:15 +0000 2014",
                "favourites_count": rnd.randint(0, 10**4), "utc_offset": rnd.choice([None, 32400]),
                "time_zone": rnd.choice([None, "Tokyo"]), "verified": False, "lang": "ja",
                "profile_image_url": f"http://pbs.example.com/profile_images/{uid}/a_normal.jpeg"}
        mentions = [{"screen_name": f"user_{rnd.randint(0, 9972)}", "name": text(1),
                     "id": rnd.randint(10**8, 10**9), "indices": [0, 12]} for _ in range(rnd.randint(0, 2))]
        sid = 505874924095815681 + len(statuses)
        status = {"metadata": {"result_type": "recent", "iso_language_code": "ja"},
                  "created_at": "Sun Aug 31 00:29:15 +0000 2014", "id": sid, "id_str": str(sid),
                  "text": text(12) + " \u2764 \"quoted\" \\ end", "source": '<a href="http://twitter.com/download/iphone" rel="nofollow">Twitter for iPhone</a>',
                  "truncated": False, "in_reply_to_status_id": rnd.choice([None, sid - 7]),
                  "user": user, "geo": None, "coordinates": None, "place": None,
                  "retweet_count": rnd.randint(0, 100), "favorite_count": rnd.randint(0, 100),
                  "entities": {"hashtags": [], "symbols": [], "urls": [], "user_mentions": mentions},
                  "favorited": False, "retweeted": False, "lang": "ja"}
        statuses.append(status)
        size += len(json.dumps(status))
    return {"statuses": statuses,
            "search_metadata": {"completed_in": 0.087, "max_id": 505874924095815700,
                                "query": "%E4%B8%80", "count": len(statuses)}}


def flat_doc(rnd, count):
    words = ["alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta"]
    return [{"id": i, "name": f"{rnd.choice(words)} {rnd.choice(words)} {i}",
             "price": round(rnd.random() * 1000, 2), "tags": ["a", "b"], "ok": rnd.random() < 0.5}
            for i in range(count)]


# Per document: where its records are and a field of each that the schema
# wants a str, which the spoiled documents set to an int.
RECORDS = {
    "numbers": (lambda d: d["features"], "type"),
    "id-keyed maps": (lambda d: d["performances"], "venueCode"),
    "wide text records": (lambda d: d["statuses"], "created_at"),
    "flat records": (lambda d: d, "name"),
}


def spoiled(name, value, every):
    """A copy of the document with every `every`-th record bad (None: only the
    last one)."""
    value = json.loads(json.dumps(value))
    records, field = RECORDS[name]
    items = records(value)
    picked = [items[-1]] if every is None else items[::every]
    for record in picked:
        record[field] = 12345
    return value


def encode(doc):
    # Slashes and one symbol escaped, as some producers write them.
    text = json.dumps(doc, ensure_ascii=False).replace("/", "\\/").replace("\u2764", "\\u2764")
    return text.encode()


# --- schemas inferred from a document ------------------------------------------

def infer(values):
    """('any',) | ('scalar', kind) | ('list', t) | ('map', t) | ('record', {k: (t, required)})
    | ('union', [t...])"""
    members, seen = [], set()
    lists, dicts = [], []
    for v in values:
        if isinstance(v, list):
            lists.append(v)
        elif isinstance(v, dict):
            dicts.append(v)
        else:
            seen.add(type(v))
    for kind in (type(None), bool, int, float, str):
        if kind in seen:
            members.append(("scalar", kind))
    if lists:
        members.append(("list", infer([x for l in lists for x in l])))
    if dicts:
        keys = {k for d in dicts for k in d}
        if keys and (all(k.isdigit() for k in keys) or len(keys) > 64):
            members.append(("map", infer([x for d in dicts for x in d.values()])))
        else:
            fields = {}
            # Fields in the order the documents first show them.
            for k in dict.fromkeys(k for d in dicts for k in d):
                present = [d[k] for d in dicts if k in d]
                fields[k] = (infer(present), len(present) == len(dicts))
            members.append(("record", fields))
    if not members:
        return ("any",)
    return members[0] if len(members) == 1 else ("union", members)


def to_tarmelix(t):
    tag = t[0]
    if tag == "any":
        return Any
    if tag == "scalar":
        return None if t[1] is type(None) else t[1]
    if tag == "list":
        return list[to_tarmelix(t[1])]
    if tag == "map":
        return dict[str, to_tarmelix(t[1])]
    if tag == "record":
        return {(k if req else k + "?"): to_tarmelix(f) for k, (f, req) in t[1].items()}
    parts = [to_tarmelix(m) for m in t[1]]
    return functools.reduce(operator.or_, parts[1:], Optional[parts[0]] if parts[0] is None else parts[0])


def to_typing(t, names):
    """The same type for msgspec: TypedDicts in place of records."""
    tag = t[0]
    if tag == "any":
        return Any
    if tag == "scalar":
        return None if t[1] is type(None) else t[1]
    if tag == "list":
        return list[to_typing(t[1], names)]
    if tag == "map":
        return dict[str, to_typing(t[1], names)]
    if tag == "record":
        fields = {k: (to_typing(f, names) if req else NotRequired[to_typing(f, names)])
                  for k, (f, req) in t[1].items()}
        names[0] += 1
        return TypedDict(f"R{names[0]}", fields)
    parts = [to_typing(m, names) for m in t[1]]
    return functools.reduce(operator.or_, parts[1:], Optional[parts[0]] if parts[0] is None else parts[0])


def to_core(t):
    tag = t[0]
    if tag == "any":
        return cs.any_schema()
    if tag == "scalar":
        return {type(None): cs.none_schema, bool: cs.bool_schema, int: cs.int_schema,
                float: cs.float_schema, str: cs.str_schema}[t[1]]()
    if tag == "list":
        return cs.list_schema(to_core(t[1]))
    if tag == "map":
        return cs.dict_schema(cs.str_schema(), to_core(t[1]))
    if tag == "record":
        return cs.typed_dict_schema(
            {k: cs.typed_dict_field(to_core(f), required=req) for k, (f, req) in t[1].items()},
            extra_behavior="forbid")
    return cs.union_schema([to_core(m) for m in t[1]])


# --- measuring --------------------------------------------------------------------

def least_times(contenders, rounds=7, budget=0.03):
    """CPU time of one call, least over rounds in which every contender runs
    (a few times, so each round lasts about `budget`), so a busy machine
    disturbs each of them alike."""
    repeat = {}
    for name, fn in contenders.items():
        t0 = time.process_time()
        fn()
        one = max(time.process_time() - t0, 1e-6)
        repeat[name] = max(1, min(50, int(budget / one)))
    least = {name: math.inf for name in contenders}
    for _ in range(rounds):
        for name, fn in contenders.items():
            n = repeat[name]
            t0 = time.process_time()
            for _ in range(n):
                fn()
            least[name] = min(least[name], (time.process_time() - t0) / n)
    return least


PEAK_PROBE = r"""
import json, sys
from tarmelix import Validator
sys.path.insert(0, {bench!r})
import bench_json_floor as b
data = open({path!r}, "rb").read()
v = Validator(b.to_tarmelix(b.infer([json.loads(data)])))
# Builds the walk plan but leaves the thread's parser small, so the call
# below pays for its buffers as a first call does.
v.is_valid_json(b"null")
def status(field):
    for line in open("/proc/self/status"):
        if line.startswith(field):
            return int(line.split()[1]) * 1024
with open("/proc/self/clear_refs", "w") as f:
    f.write("5")  # resets the peak resident size
before = status("VmRSS:")
assert v.is_valid_json(data)
print(status("VmHWM:") - before)
"""


def peak_memory(data):
    """Peak resident growth of the first is_valid_json call of this document,
    in a fresh process."""
    with tempfile.NamedTemporaryFile(suffix=".json", delete=False) as f:
        f.write(data)
        path = f.name
    try:
        code = PEAK_PROBE.format(bench=os.path.dirname(os.path.abspath(__file__)), path=path)
        out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
        return int(out.stdout.strip())
    finally:
        os.unlink(path)


def measure(name, data):
    value = json.loads(data)
    shape = infer([value])
    v = Validator(to_tarmelix(shape))
    T = to_typing(shape, [0])
    ms_decoder = msgspec.json.Decoder(T)
    pd = SchemaValidator(to_core(shape))

    assert v.is_valid_json(data) and v.is_valid(value)
    assert v.load(data) == value
    one_bad = encode(spoiled(name, value, None))
    tenth_bad = encode(spoiled(name, value, 10))
    assert not v.is_valid_json(one_bad) and not v.is_valid_json(tenth_bad)

    def raising(doc):
        def call():
            try:
                v.validate_json(doc)
            except Exception:
                pass
        return call
    ms_decoder.decode(data)
    msgspec.convert(value, T, strict=True)
    pd.validate_json(data, strict=True)
    pd.validate_python(value, strict=True)

    t = least_times({
        "is_valid_json": lambda: v.is_valid_json(data),
        "validate_json": lambda: v.validate_json(data),
        "load": lambda: v.load(data),
        "is_valid": lambda: v.is_valid(value),
        "msgspec decode": lambda: ms_decoder.decode(data),
        "msgspec convert": lambda: msgspec.convert(value, T, strict=True),
        "pydantic validate_json": lambda: pd.validate_json(data, strict=True),
        "pydantic validate_python": lambda: pd.validate_python(value, strict=True),
        "json.loads": lambda: json.loads(data),
        "simdjson parse": lambda: simdjson.Parser().parse(data),
        "orjson.loads": lambda: orjson.loads(data),
        "jiter.from_json": lambda: jiter.from_json(data),
        "validate_json one bad": raising(one_bad),
        "validate_json 1/10 bad": raising(tenth_bad),
    })
    peak = peak_memory(data)

    mb = len(data) / 1e6
    ours = t["is_valid_json"]
    print(f"\n{name}: {mb:.2f} MB")
    for k, secs in t.items():
        print(f"  {k:26s} {secs * 1e3:8.2f} ms  {mb / secs:7.0f} MB/s")
    loads_is_valid = t["json.loads"] + t["is_valid"]
    rows = [
        ("is_valid_json / simdjson parse", ours / t["simdjson parse"], "<= 1.5"),
        ("msgspec decode / is_valid_json", t["msgspec decode"] / ours, ">= 4"),
        ("pydantic validate_json / is_valid_json", t["pydantic validate_json"] / ours, ">= 4"),
        ("validate_json / is_valid_json", t["validate_json"] / ours, "<= 1.1"),
        ("(json.loads + is_valid) / load", loads_is_valid / t["load"], "> 1"),
        ("msgspec decode / load", t["msgspec decode"] / t["load"], "> 1"),
        ("orjson.loads / load", t["orjson.loads"] / t["load"], "> 1"),
        ("jiter.from_json / load", t["jiter.from_json"] / t["load"], "> 1"),
        ("(orjson.loads + is_valid) / load", (t["orjson.loads"] + t["is_valid"]) / t["load"], "> 1"),
        ("validate_json one bad / load", t["validate_json one bad"] / t["load"], "<= 1.2"),
        ("validate_json 1/10 bad / load", t["validate_json 1/10 bad"] / t["load"], "<= 1.2"),
        ("msgspec convert / is_valid", t["msgspec convert"] / t["is_valid"], "> 1"),
        ("pydantic validate_python / is_valid", t["pydantic validate_python"] / t["is_valid"], "> 1"),
        ("is_valid_json peak memory / document", peak / len(data), "<= 5"),
    ]
    for label, ratio, target in rows:
        print(f"  {label:40s} {ratio:6.2f}  (target {target})")
    return t, rows


def main():
    rnd = random.Random(12)
    docs = [
        ("numbers", encode(numbers_doc(rnd, 2_200_000))),
        ("id-keyed maps", encode(maps_doc(rnd, 1_900_000))),
        ("wide text records", encode(text_doc(rnd, 2_000_000))),
        ("flat records", encode(flat_doc(rnd, 120_000))),
    ]
    only = sys.argv[1:]
    for name, data in docs:
        if not only or any(o in name for o in only):
            measure(name, data)


if __name__ == "__main__":
    main()
