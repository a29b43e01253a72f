# Writes the Optuna-like storage behind docs/images/log-axis-categories.png:
# usage: python3 scripts/make-log-axis-study.py study.db
# An Optuna-like storage: a learning rate sampled on a log scale, a
# categorical optimiser, a batch size; two studies.
import sqlite3, math, os, sys, json
path = sys.argv[1]
if os.path.exists(path): os.remove(path)
c = sqlite3.connect(path)
c.executescript('''
CREATE TABLE studies (study_id INTEGER NOT NULL, study_name VARCHAR(512) NOT NULL, PRIMARY KEY (study_id));
CREATE TABLE version_info (version_info_id INTEGER NOT NULL, schema_version INTEGER, library_version VARCHAR(256), PRIMARY KEY (version_info_id));
CREATE TABLE study_directions (study_direction_id INTEGER NOT NULL, direction VARCHAR(8) NOT NULL, study_id INTEGER NOT NULL, objective INTEGER NOT NULL, PRIMARY KEY (study_direction_id));
CREATE TABLE trials (trial_id INTEGER NOT NULL, number INTEGER, study_id INTEGER, state VARCHAR(8) NOT NULL, datetime_start DATETIME, datetime_complete DATETIME, PRIMARY KEY (trial_id));
CREATE TABLE trial_params (param_id INTEGER NOT NULL, trial_id INTEGER, param_name VARCHAR(512), param_value FLOAT, distribution_json TEXT, PRIMARY KEY (param_id));
CREATE TABLE trial_values (trial_value_id INTEGER NOT NULL, trial_id INTEGER NOT NULL, objective INTEGER NOT NULL, value FLOAT, value_type VARCHAR(7) NOT NULL, PRIMARY KEY (trial_value_id));
INSERT INTO version_info VALUES (1, 12, '3.1.0');
INSERT INTO studies VALUES (1, 'tune-grid'), (2, 'pilot');
INSERT INTO study_directions VALUES (1, 'MINIMIZE', 1, 0), (2, 'MINIMIZE', 2, 0);
''')
opts = ["adam", "adagrad", "rmsprop", "sgd", "nesterov"]
lr_d = json.dumps({"name": "FloatDistribution", "attributes": {"step": None, "low": 1e-5, "high": 1.0, "log": True}})
opt_d = json.dumps({"name": "CategoricalDistribution", "attributes": {"choices": opts}})
bs_d = json.dumps({"name": "CategoricalDistribution", "attributes": {"choices": [32, 128]}})
trial = param = 0
def add(study, number, lr, opt, bs, value):
    global trial, param
    trial += 1
    c.execute("INSERT INTO trials VALUES (?,?,?,'COMPLETE',NULL,NULL)", (trial, number, study))
    for name, v, d in (("learning_rate", lr, lr_d), ("optimizer", opts.index(opt), opt_d), ("batch_size", [32,128].index(bs), bs_d)):
        param += 1
        c.execute("INSERT INTO trial_params VALUES (?,?,?,?,?)", (param, trial, name, v, d))
    c.execute("INSERT INTO trial_values VALUES (?,?,0,?,'FINITE')", (trial, trial, value))
best = {"adam": -3.0, "adagrad": -2.0, "rmsprop": -3.3, "sgd": -1.2, "nesterov": -1.6}
n = 0
for k in range(25):
    lr = 10 ** (-5 + 5 * k / 24)
    for opt in opts:
        for bs in (32, 128):
            d = math.log10(lr) - best[opt] - (0.3 if bs == 128 else 0)
            loss = 0.08 + 0.045 * d * d + 0.03 * opts.index(opt) / 4
            add(1, n, lr, opt, bs, loss); n += 1
for k in range(3):
    add(2, k, 10 ** (-4 + k), "adam", 32, 0.5)
c.commit()
