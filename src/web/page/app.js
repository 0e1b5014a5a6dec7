// The office page: today's bells from GET /api/status and the actions on them. Plain script, no libraries: the
// server allows nothing but its own files (Content-Security-Policy default-src 'self').
'use strict';

(function () {
    // Every text the page shows; data from the server (names, plan, warnings, errors) is shown as it comes.
    const TEXTS = {
        zh: {
            title: '铃潮', signinTitle: '登录', roleLabel: '身份', roleDuty: '值班', roleAdmin: '管理',
            passwordLabel: '密码', signin: '登录', signout: '退出', loginFailed: '登录失败',
            signInAgain: '请重新登录', networkError: '网络错误', disconnected: '连接中断，正在重试…',
            loading: '正在读取…', pcClock: '电脑时间',
            offsetAhead: '本机比电脑快 {s} 秒', offsetBehind: '本机比电脑慢 {s} 秒', offsetSame: '本机与电脑时间一致',
            nextBell: '下一个铃声', noNext: '今天没有要响的铃声了', countdown: '还有 {t}', dueNow: '就是现在',
            hms: '{h} 小时 {m} 分 {s} 秒', ms: '{m} 分 {s} 秒', s: '{s} 秒',
            actions: '操作', ringChoice: '响什么', jobsGroup: '今天的铃声', musicGroup: '音乐',
            nothingToRing: '没有可响的铃声', ring: '立即响铃', stop: '停止', todayOnly: '只改今天',
            silenceToday: '今天不响铃', skipNext: '跳过下一个铃声', delayLabel: '推迟几分钟（1–120）',
            minutes: '分钟', delayToday: '今日推迟', restoreToday: '恢复今日铃声',
            confirmSilence: '今天剩下的铃声都不响了。确定吗？', confirmSkip: '跳过下一个铃声（{bell}）。确定吗？',
            confirmSkipAny: '跳过下一个铃声。确定吗？',
            yes: '确定', no: '取消', working: '正在执行…', done: '已完成：{what}',
            minutesRange: '请填 1 到 120 之间的整数分钟', failedHttp: '失败（HTTP {n}）',
            bells: '今天的铃声', colTime: '时间', colName: '名称', colOutcome: '结果', noBells: '今天没有铃声',
            rang: '已响', missed: '错过', silent: '无声', held: '暂停', skipped: '跳过', coming: '待响',
            soundAt: '出声 +{ms} 毫秒', peak: '峰值 {p} dBFS', late: '晚 {ms} 毫秒',
            warnings: '警告', log: '最近 7 天的铃声记录', logCount: '（{n} 条）', logEmpty: '没有记录',
            signals: '紧急与演练', drill: '演练', emergency: '紧急', signalStep: '第{n}/{of}步',
            signalEnding: '正在解除', signalNext: '下一步', signalEnd: '结束', signalStopNow: '立即停止',
            confirmSignal: '确定要开始「{name}」吗？', signalStart: '开始「{name}」', noPlans: '没有可用的预案',
        },
        en: {
            title: 'Lingchao', signinTitle: 'Sign in', roleLabel: 'Role', roleDuty: 'Duty', roleAdmin: 'Admin',
            passwordLabel: 'Password', signin: 'Sign in', signout: 'Sign out', loginFailed: 'Sign-in failed',
            signInAgain: 'Please sign in again', networkError: 'Network error',
            disconnected: 'Connection lost, retrying…', loading: 'Loading…', pcClock: 'PC clock',
            offsetAhead: 'This device is {s} s ahead of the PC', offsetBehind: 'This device is {s} s behind the PC',
            offsetSame: 'This device agrees with the PC', nextBell: 'Next bell', noNext: 'No more bells today',
            countdown: 'in {t}', dueNow: 'now', hms: '{h} h {m} min {s} s', ms: '{m} min {s} s', s: '{s} s',
            actions: 'Actions', ringChoice: 'What to ring', jobsGroup: "Today's bells", musicGroup: 'Music',
            nothingToRing: 'Nothing to ring', ring: 'Ring now', stop: 'Stop', todayOnly: 'Today only',
            silenceToday: 'No bells today', skipNext: 'Skip the next bell', delayLabel: 'Delay by (1–120)',
            minutes: 'min', delayToday: 'Delay today', restoreToday: "Restore today's bells",
            confirmSilence: "None of today's remaining bells will ring. Are you sure?",
            confirmSkip: 'Skip the next bell, {bell}. Are you sure?', confirmSkipAny: 'Skip the next bell. Are you sure?',
            yes: 'Yes', no: 'Cancel',
            working: 'Working…', done: 'Done: {what}', minutesRange: 'Enter whole minutes from 1 to 120',
            failedHttp: 'Failed (HTTP {n})', bells: "Today's bells", colTime: 'Time', colName: 'Name',
            colOutcome: 'Outcome', noBells: 'No bells today', rang: 'Rang', missed: 'Missed', silent: 'Silent',
            held: 'Held', skipped: 'Skipped', coming: 'Coming', soundAt: 'sound at +{ms} ms', peak: 'peak {p} dBFS',
            late: '{ms} ms late', warnings: 'Warnings', log: 'Bell log, last 7 days', logCount: '({n})',
            logEmpty: 'No entries', signals: 'Drills and emergencies', drill: 'Drill', emergency: 'Emergency',
            signalStep: 'step {n} of {of}', signalEnding: 'all-clear sounding', signalNext: 'Next step',
            signalEnd: 'End', signalStopNow: 'Stop now', confirmSignal: 'Start “{name}”? Are you sure?',
            signalStart: 'start “{name}”', noPlans: 'No plans available',
        },
    };
    const WEEKDAYS_EN = ['Sunday', 'Monday', 'Tuesday', 'Wednesday', 'Thursday', 'Friday', 'Saturday'];
    // Outcome words of the status and of the log's first field ("fired", "missed: why").
    const OUTCOMES = {
        rang: 'rang', fired: 'rang', missed: 'missed', silent: 'silent', held: 'held', skipped: 'skipped',
        coming: 'coming',
    };

    const POLL_MS = 2000;
    const MAX_BACKOFF_MS = 16000;
    const FAILURES_SHOWN = 3;        // a missed refresh or two on a phone's Wi-Fi is not worth a banner
    const REQUEST_TIMEOUT_MS = 8000;  // a hung request must not stop the refreshes
    const SAMPLES_KEPT = 5;           // the clock offset is the one of the fastest of the recent round trips
    const CSRF_KEY = 'lingchao.csrf';
    const ROLE_KEY = 'lingchao.role';

    const first = (navigator.languages && navigator.languages[0]) || navigator.language || '';
    const LANG = first.toLowerCase().startsWith('en') ? 'en' : 'zh';

    function t(key, vars) {
        let text = TEXTS[LANG][key] ?? TEXTS.zh[key] ?? key;
        for (const name in vars || {}) text = text.split('{' + name + '}').join(String(vars[name]));
        return text;
    }
    const $ = (id) => document.getElementById(id);

    function el(tag, className, text) {
        const node = document.createElement(tag);
        if (className) node.className = className;
        if (text !== undefined && text !== null) node.textContent = String(text);
        return node;
    }

    function setText(node, text) {
        const value = String(text ?? '');
        if (node.textContent !== value) node.textContent = value;
    }

    function stored(store, key, value) {
        // Private browsing may refuse storage; the page then simply asks for the password more often.
        try {
            if (value === undefined) return window[store].getItem(key);
            if (value === null) window[store].removeItem(key);
            else window[store].setItem(key, value);
        } catch (e) {
            return null;
        }
        return null;
    }

    const state = {
        csrf: stored('sessionStorage', CSRF_KEY),
        inflight: false,
        again: false,
        timer: 0,
        failures: 0,
        samples: [],
        offsetMs: null,   // phone clock minus PC clock
        zoneMs: 0,        // the PC's local time minus UTC
        nextAt: null,
        nextLabel: '',
        drawn: {},        // what each list was last drawn from, so that open menus and selections survive refreshes
        messageTimer: 0,
    };

    // ---- server requests ----

    async function request(method, path, body) {
        const headers = { Accept: 'application/json' };
        const init = { method, headers, credentials: 'same-origin', cache: 'no-store' };
        if (body !== undefined) {
            headers['Content-Type'] = 'application/json';
            init.body = JSON.stringify(body);
        }
        if (method !== 'GET' && state.csrf) headers['X-CSRF-Token'] = state.csrf;
        const abort = new AbortController();
        const timer = setTimeout(() => abort.abort(), REQUEST_TIMEOUT_MS);
        init.signal = abort.signal;
        try {
            const response = await fetch(path, init);
            let data = null;
            try {
                data = await response.json();
            } catch (e) {
                data = null;
            }
            return { status: response.status, ok: response.ok, data };
        } finally {
            clearTimeout(timer);
        }
    }

    function errorOf(reply) {
        const data = reply.data;
        if (data && typeof data.error === 'string' && data.error) return data.error;
        return t('failedHttp', { n: reply.status });
    }

    // ---- signing in and out ----

    function showLogin(reason) {
        clearTimeout(state.timer);
        $('main').hidden = true;
        $('who').hidden = true;
        $('signout').hidden = true;
        $('conn').hidden = true;
        $('login').hidden = false;
        const error = $('login-error');
        error.hidden = !reason;
        setText(error, reason || '');
        $('password').focus();
    }

    function showMain() {
        $('login').hidden = true;
        $('main').hidden = false;
        $('signout').hidden = false;
    }

    function forget(reason) {
        state.csrf = null;
        state.drawn = {};
        $('message').hidden = true;  // what the last session did is not the next one's
        stored('sessionStorage', CSRF_KEY, null);
        showLogin(reason);
    }

    async function signIn(event) {
        event.preventDefault();
        const button = $('signin');
        const error = $('login-error');
        const role = $('role').value;
        button.disabled = true;
        error.hidden = true;
        try {
            const reply = await request('POST', '/api/login', { role, password: $('password').value });
            if (reply.ok && reply.data && typeof reply.data.csrf === 'string') {
                state.csrf = reply.data.csrf;
                stored('sessionStorage', CSRF_KEY, state.csrf);
                stored('localStorage', ROLE_KEY, role);
                $('password').value = '';
                state.failures = 0;
                showMain();
                refreshNow();
            } else {
                error.hidden = false;
                setText(error, reply.data && reply.data.error ? reply.data.error : t('loginFailed'));
                $('password').select();
            }
        } catch (e) {
            error.hidden = false;
            setText(error, t('networkError'));
        } finally {
            button.disabled = false;
        }
    }

    async function signOut() {
        try {
            await request('POST', '/api/logout', {});
        } catch (e) {
            // Signed out here either way; the server's session ends with its life.
        }
        forget('');
    }

    // ---- refreshing ----

    function refreshNow() {
        if (state.inflight) state.again = true;
        else schedule(0);
    }

    function schedule(ms) {
        clearTimeout(state.timer);
        state.timer = setTimeout(refresh, ms);
    }

    async function refresh() {
        if (!state.csrf) return;
        if (state.inflight) {
            state.again = true;
            return;
        }
        state.inflight = true;
        let wait = POLL_MS;
        const started = performance.now();
        try {
            const reply = await request('GET', '/api/status');
            const received = Date.now();
            const took = performance.now() - started;
            if (reply.status === 401) {
                forget(t('signInAgain'));
                return;
            }
            if (!reply.ok || !reply.data || typeof reply.data !== 'object') throw new Error('HTTP ' + reply.status);
            state.failures = 0;
            $('conn').hidden = true;
            takeClock(reply.data, received, took);
            draw(reply.data);
        } catch (e) {
            state.failures += 1;
            wait = Math.min(POLL_MS * 2 ** (state.failures - 1), MAX_BACKOFF_MS);
            if (state.failures >= FAILURES_SHOWN && state.csrf) {
                setText($('conn'), t('disconnected'));
                $('conn').hidden = false;
            }
        } finally {
            state.inflight = false;
            if (state.csrf) schedule(state.again ? 0 : wait);
            state.again = false;
        }
    }

    // The PC read its clock about half a round trip before the answer arrived.
    function takeClock(status, received, took) {
        if (typeof status.now_ms !== 'number') return;
        state.samples.push({ offset: received - (status.now_ms + took / 2), took });
        if (state.samples.length > SAMPLES_KEPT) state.samples.shift();
        state.offsetMs = state.samples.reduce((a, b) => (b.took < a.took ? b : a)).offset;
        const m = /^(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)(?:\.(\d{1,3}))?/.exec(String(status.now || ''));
        if (m) {
            const local = Date.UTC(+m[1], +m[2] - 1, +m[3], +m[4], +m[5], +m[6], +(m[7] || '0').padEnd(3, '0'));
            state.zoneMs = Math.round((local - status.now_ms) / 60000) * 60000;
        }
        const abs = Math.abs(state.offsetMs);
        const seconds = (abs / 1000).toFixed(1);
        const side = state.offsetMs > 0 ? 'offsetAhead' : 'offsetBehind';
        setText($('offset'), abs < 50 ? t('offsetSame') : t(side, { s: seconds }));
        tick();
    }

    // ---- drawing ----

    const pad = (n) => String(n).padStart(2, '0');

    function duration(ms) {
        const total = Math.ceil(ms / 1000);
        const h = Math.floor(total / 3600);
        const m = Math.floor((total % 3600) / 60);
        const s = total % 60;
        if (h > 0) return t('hms', { h, m: pad(m), s: pad(s) });
        if (m > 0) return t('ms', { m, s: pad(s) });
        return t('s', { s });
    }

    function tick() {
        if (state.offsetMs === null) return;
        const pcNow = Date.now() - state.offsetMs;
        const local = new Date(pcNow + state.zoneMs);
        const hms = [local.getUTCHours(), local.getUTCMinutes(), local.getUTCSeconds()];
        setText($('clock'), hms.map(pad).join(':'));
        const countdown = $('countdown');
        if (state.nextAt === null) {
            countdown.hidden = true;
            return;
        }
        const left = state.nextAt - pcNow;
        setText(countdown, left <= 0 ? t('dueNow') : t('countdown', { t: duration(left) }));
        countdown.hidden = false;
    }

    function changed(name, value) {
        const key = JSON.stringify(value);
        if (state.drawn[name] === key) return false;
        state.drawn[name] = key;
        return true;
    }

    const list = (value) => (Array.isArray(value) ? value : []);

    function draw(status) {
        const role = status.role === 'admin' ? t('roleAdmin') : status.role === 'duty' ? t('roleDuty') : status.role;
        setText($('who'), role || '');
        $('who').hidden = !role;

        let weekday = status.weekday || '';
        if (LANG === 'en' && /^\d{4}-\d\d-\d\d$/.test(status.date || '')) {
            weekday = WEEKDAYS_EN[new Date(status.date + 'T00:00:00Z').getUTCDay()];
        }
        setText($('date'), [status.date, weekday].filter(Boolean).join(' '));
        setText($('plan'), status.plan || '');
        setText($('changes'), status.changes || '');
        $('changes').hidden = !status.changes;

        const next = status.next && typeof status.next === 'object' ? status.next : null;
        state.nextLabel = next ? [next.time, next.name].filter(Boolean).join(' ') : '';
        state.nextAt = next && typeof next.at_ms === 'number' ? next.at_ms : null;
        setText($('next'), next ? state.nextLabel : t('noNext'));
        $('next').classList.toggle('none', !next);
        tick();

        drawWarnings(list(status.warnings));
        drawBells(list(status.bells), next);
        drawChoices(list(status.jobs), list(status.music));
        drawLog(list(status.log));
        drawSignals(status);
    }

    // "【演练】地震演练 · 第1/3步 就地避险", as the clock's panel says it.
    function signalLine(signal) {
        const kind = signal.kind === 'emergency' ? 'emergency' : 'drill';
        let text = (LANG === 'en' ? '[' + t(kind) + '] ' : '【' + t(kind) + '】') + (signal.name || '');
        if (signal.ending) return text + ' · ' + t('signalEnding');
        if (signal.steps > 0) text += ' · ' + t('signalStep', { n: signal.step, of: signal.steps });
        if (signal.label && signal.label !== signal.name) text += ' ' + signal.label;
        return text;
    }

    // 管理 starts, steps and ends a signal; 值班 only sees the one sounding.
    function drawSignals(status) {
        const admin = status.role === 'admin';
        const signal = status.signal && typeof status.signal === 'object' ? status.signal : null;
        $('signals').hidden = !admin && !signal;
        $('signal-now').hidden = !signal;
        $('signal-controls').hidden = !admin || !signal;
        $('signal-plans').hidden = !admin;
        if (signal) {
            setText($('signal-line'), signalLine(signal));
            $('signal-next').hidden = !signal.waits_for_next || !!signal.ending;
            // During the all-clear a second 结束 silences it at once.
            setText($('signal-end'), t(signal.ending ? 'signalStopNow' : 'signalEnd'));
        }
        const holder = $('signal-buttons');
        if (admin && changed('signals', list(status.signals))) {
            const buttons = list(status.signals).map((plan) => {
                const name = String(plan.name ?? '');
                const emergency = plan.kind === 'emergency';
                const button = el('button', 'plan ' + (emergency ? 'emergency' : 'drill'), name);
                button.type = 'button';
                button.title = t(emergency ? 'emergency' : 'drill') + (LANG === 'en' ? ': ' : '：') + name;
                const action = {
                    kind: 'signal-start', what: () => t('signalStart', { name }), body: () => ({ body: { name } }),
                    confirm: () => t('confirmSignal', { name }),
                };
                button.addEventListener('click', () => act(action, button));
                return button;
            });
            holder.replaceChildren(...(buttons.length ? buttons : [el('p', 'empty', t('noPlans'))]));
        }
        // One signal at a time: the bell would refuse a second one anyway.
        for (const button of holder.querySelectorAll('button')) button.disabled = !!signal;
    }

    function drawWarnings(warnings) {
        if (!changed('warnings', warnings)) return;
        const ul = $('warning-list');
        ul.replaceChildren(...warnings.map((w) => el('li', '', w)));
        $('warnings').hidden = warnings.length === 0;
    }

    function fmtPeak(peak) {
        if (typeof peak === 'number') return peak.toFixed(1);
        return typeof peak === 'string' && peak ? peak : null;
    }

    // The outcome in words, with what the sound proved when it rang.
    function outcomeCell(item, withLate) {
        const td = el('td', 'outcome');
        const raw = String(item.outcome ?? '');
        const cut = raw.indexOf(':');
        const head = (cut < 0 ? raw : raw.slice(0, cut)).trim();
        const why = cut < 0 ? '' : raw.slice(cut + 1).trim();
        const kind = OUTCOMES[head];
        td.append(el('span', 'word' + (kind ? ' o-' + kind : ''), kind ? t(kind) : raw));
        if (why) td.append(el('span', 'detail', why));
        const measured = [];
        if (kind === 'rang') {
            if (typeof item.sound_ms === 'number') measured.push(t('soundAt', { ms: item.sound_ms }));
            const peak = fmtPeak(item.peak_dbfs);
            if (peak !== null) measured.push(t('peak', { p: peak }));
            if (withLate && typeof item.late_ms === 'number' && item.late_ms > 0) {
                measured.push(t('late', { ms: item.late_ms }));
            }
        }
        if (measured.length) {
            // Each measure stays on one line; a narrow column breaks between them.
            const detail = el('span', 'detail');
            measured.forEach((text, i) => detail.append(i ? ' · ' : '', el('span', 'bit', text)));
            td.append(detail);
        }
        return td;
    }

    function drawBells(bells, next) {
        if (!changed('bells', [bells, next && next.time, next && next.name])) return;
        const body = $('bells').tBodies[0];
        let nextIndex = -1;
        if (next) {
            nextIndex = bells.findIndex((b) => b.outcome === 'coming' && b.time === next.time && b.name === next.name);
            if (nextIndex < 0) nextIndex = bells.findIndex((b) => b.outcome === 'coming');
        }
        const rows = bells.map((bell, i) => {
            const tr = el('tr', bell.outcome === 'coming' ? 'coming' : 'past');
            if (i === nextIndex) {
                tr.classList.add('next');
                tr.setAttribute('aria-current', 'true');
            }
            tr.append(el('td', 'time', bell.time), el('td', 'name', bell.name), outcomeCell(bell, false));
            return tr;
        });
        if (rows.length === 0) {
            const td = el('td', 'empty', t('noBells'));
            td.colSpan = 3;
            const tr = el('tr');
            tr.append(td);
            rows.push(tr);
        }
        body.replaceChildren(...rows);
    }

    function drawChoices(jobs, music) {
        if (!changed('choices', [jobs, music])) return;
        const select = $('ring-choice');
        const before = select.value;
        const groups = [];
        if (jobs.length) {
            const group = el('optgroup');
            group.label = t('jobsGroup');
            for (const job of jobs) {
                const option = el('option', '', [job.time, job.name].filter(Boolean).join(' '));
                option.value = 'job:' + job.job;
                group.append(option);
            }
            groups.push(group);
        }
        if (music.length) {
            const group = el('optgroup');
            group.label = t('musicGroup');
            for (const name of music) {
                const option = el('option', '', name);
                option.value = 'file:' + name;
                group.append(option);
            }
            groups.push(group);
        }
        if (groups.length === 0) {
            const option = el('option', '', t('nothingToRing'));
            option.value = '';
            groups.push(option);
        }
        select.replaceChildren(...groups);
        if ([...select.options].some((o) => o.value === before)) select.value = before;
        select.disabled = !jobs.length && !music.length;
        $('act-ring').disabled = select.disabled;
    }

    function drawLog(log) {
        setText($('log-count'), t('logCount', { n: log.length }));
        if (!changed('log', log)) return;
        const holder = $('log-body');
        if (log.length === 0) {
            holder.replaceChildren(el('p', 'empty', t('logEmpty')));
            return;
        }
        const table = el('table', 'bells log');
        const body = el('tbody');
        let day = null;
        for (const entry of log) {
            if (entry.date !== day) {
                day = entry.date;
                const th = el('th', 'day', day);
                th.colSpan = 3;
                th.scope = 'colgroup';
                const tr = el('tr');
                tr.append(th);
                body.append(tr);
            }
            const tr = el('tr');
            tr.append(el('td', 'time', entry.time), el('td', 'name', entry.name), outcomeCell(entry, true));
            body.append(tr);
        }
        table.append(body);
        holder.replaceChildren(table);
    }

    // ---- actions ----

    function say(where, text, kind) {
        const message = $('message');
        clearTimeout(state.messageTimer);
        if (message.parentNode !== where) where.append(message);
        message.className = 'message ' + kind;
        setText(message, text);
        message.hidden = false;
        if (kind === 'ok') state.messageTimer = setTimeout(() => (message.hidden = true), 8000);
    }

    function ask(text) {
        const dialog = $('confirm');
        if (typeof dialog.showModal !== 'function') return Promise.resolve(window.confirm(text));
        setText($('confirm-text'), text);
        dialog.returnValue = '';
        return new Promise((resolve) => {
            dialog.addEventListener('close', () => resolve(dialog.returnValue === 'yes'), { once: true });
            dialog.showModal();
            $('confirm-no').focus();  // the safe answer is the one Enter gives
        });
    }

    function ringBody() {
        const value = $('ring-choice').value;
        const cut = value.indexOf(':');
        if (cut < 0) return { error: t('nothingToRing') };
        const kind = value.slice(0, cut);
        const what = value.slice(cut + 1);
        return { body: kind === 'job' ? { job: Number(what) } : { file: what } };
    }

    function delayBody() {
        const text = $('delay-minutes').value.trim();
        const minutes = Number(text);
        if (!/^\d+$/.test(text) || minutes < 1 || minutes > 120) return { error: t('minutesRange') };
        return { body: { minutes } };
    }

    const ACTIONS = [
        { id: 'act-ring', kind: 'ring', label: 'ring', body: ringBody },
        { id: 'act-stop', kind: 'stop', label: 'stop' },
        { id: 'act-silence-today', kind: 'silence-today', label: 'silenceToday', confirm: () => t('confirmSilence') },
        {
            id: 'act-skip-next', kind: 'skip-next', label: 'skipNext',
            confirm: () => (state.nextLabel ? t('confirmSkip', { bell: state.nextLabel }) : t('confirmSkipAny')),
        },
        { id: 'act-delay-today', kind: 'delay-today', label: 'delayToday', body: delayBody },
        { id: 'act-restore-today', kind: 'restore-today', label: 'restoreToday' },
        { id: 'signal-next', kind: 'signal-next', label: 'signalNext' },
        { id: 'signal-end', kind: 'signal-end', what: () => $('signal-end').textContent },
    ];

    async function act(action, button) {
        const where = button.closest('.action');
        let body = {};
        if (action.body) {
            const made = action.body();
            if (made.error) {
                say(where, made.error, 'error');
                return;
            }
            body = made.body;
        }
        if (action.confirm && !(await ask(action.confirm()))) return;
        const what = action.what ? action.what() : t(action.label);
        button.disabled = true;
        say(where, t('working'), 'busy');
        try {
            const reply = await request('POST', '/api/actions/' + action.kind, body);
            if (reply.ok) {
                say(where, t('done', { what }), 'ok');
                refreshNow();
            } else if (reply.status === 401) {
                forget(reply.data && reply.data.error ? reply.data.error : t('signInAgain'));
            } else {
                say(where, errorOf(reply), 'error');
            }
        } catch (e) {
            say(where, t('networkError'), 'error');
        } finally {
            button.disabled = false;
            if (action.id === 'act-ring') button.disabled = $('ring-choice').disabled;
        }
    }

    // ---- start ----

    function start() {
        document.documentElement.lang = LANG === 'en' ? 'en' : 'zh-CN';
        document.title = t('title');
        for (const node of document.querySelectorAll('[data-t]')) node.textContent = t(node.dataset.t);

        const role = stored('localStorage', ROLE_KEY);
        if (role === 'duty' || role === 'admin') $('role').value = role;
        // A password manager keeps one password per role.
        const syncUser = () => ($('username').value = $('role').value);
        $('role').addEventListener('change', syncUser);
        syncUser();
        $('login-form').addEventListener('submit', signIn);
        $('signout').addEventListener('click', signOut);
        $('confirm-yes').addEventListener('click', () => $('confirm').close('yes'));
        $('confirm-no').addEventListener('click', () => $('confirm').close('no'));
        for (const action of ACTIONS) {
            const button = $(action.id);
            button.addEventListener('click', () => act(action, button));
        }
        document.addEventListener('visibilitychange', () => {
            if (document.visibilityState === 'visible' && state.csrf) refreshNow();
        });
        setInterval(tick, 250);

        if (state.csrf) {
            showMain();
            refresh();
        } else {
            showLogin('');
        }
    }

    start();
})();
